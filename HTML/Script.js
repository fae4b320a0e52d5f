/* Whirligigcam Desktop: runs in the chat page's own script world when the program adds it to the page's head, before the chat screen's mark-up is inserted. The program reads this file with its line breaks removed: every statement ends with a semicolon and comments are block comments only. */
(function () {
  'use strict';

  if (window.whirligig) {
    return;
  }

  var maxNotes = 50;
  var slowMovieMs = 20000;

  var wg = {
    ready: false,
    recordingSince: 0
  };
  window.whirligig = wg;

  /* The chat screen's root: the last "whirligig" directly in the body, since the screen is added at the body's end. */
  var screenRoot = function () {
    var roots = document.querySelectorAll('body > #whirligig');
    return roots.length ? roots[roots.length - 1] : null;
  };

  /* An element of the chat screen, found inside its root: the site's page may use the same ids for its own elements, which keep them. */
  var byId = function (id) {
    var root = screenRoot();
    return root ? root.querySelector('#' + id) : null;
  };

  var twoDigits = function (n) {
    return (n < 10 ? '0' : '') + n;
  };

  var clock = function (date) {
    return twoDigits(date.getHours()) + ':' + twoDigits(date.getMinutes());
  };

  var duration = function (ms) {
    var s = Math.max(0, Math.floor(ms / 1000));
    return twoDigits(Math.floor(s / 60)) + ':' + twoDigits(s % 60);
  };

  /* Adds a line with the time to the room activity list; the oldest lines go when it is full. */
  wg.note = function (text) {
    var list = byId('wg-notes');
    var item, time;
    if (!list) {
      return false;
    }
    item = document.createElement('li');
    time = document.createElement('span');
    time.className = 'wg-time';
    time.appendChild(document.createTextNode(clock(new Date())));
    item.appendChild(time);
    item.appendChild(document.createTextNode(String(text)));
    list.appendChild(item);
    while (list.children.length > maxNotes) {
      list.removeChild(list.firstElementChild);
    }
    list.scrollTop = list.scrollHeight;
    return true;
  };

  wg.hideSharePanel = function () {
    var panel = byId('ShareThis');
    if (panel) {
      panel.style.display = 'none';
    }
  };

  /* The program relabels the record button "Stop Rec" while it records: mirror that with a blinking dot and a running time. */
  var recordTimer = 0;

  var showRecordTime = function () {
    var status = byId('wg-rec-status');
    if (status && wg.recordingSince) {
      status.textContent = 'REC ' + duration(Date.now() - wg.recordingSince);
    }
  };

  var followRecordCaption = function () {
    var button = byId('butRec');
    var caption = button ? button.getElementsByTagName('span')[0] : null;
    var recording = !!caption && caption.textContent === 'Stop Rec';
    var status = byId('wg-rec-status');
    if (recording && !wg.recordingSince) {
      wg.recordingSince = Date.now();
      button.setAttribute('data-wg-recording', '1');
      showRecordTime();
      recordTimer = window.setInterval(showRecordTime, 1000);
      wg.note('Recording started.');
    } else if (!recording && wg.recordingSince) {
      window.clearInterval(recordTimer);
      wg.note('Recording stopped after ' + duration(Date.now() - wg.recordingSince) + '.');
      wg.recordingSince = 0;
      if (button) {
        button.removeAttribute('data-wg-recording');
      }
      if (status) {
        status.textContent = '';
      }
    }
  };

  var watchRecordButton = function () {
    var button = byId('butRec');
    if (!button || !window.MutationObserver) {
      return;
    }
    new MutationObserver(followRecordCaption).observe(button,
      { childList: true, characterData: true, subtree: true });
    followRecordCaption();
  };

  /* The program shows the share panel while the pointer is over the Share button; leaving the panel, choosing an entry or pressing Escape closes it too. */
  var watchSharePanel = function () {
    var panel = byId('ShareThis');
    if (!panel) {
      return;
    }
    panel.addEventListener('mouseleave', wg.hideSharePanel, false);
    panel.addEventListener('click', function (event) {
      var target = event.target;
      if (target && target.className === 'wg-share-entry') {
        window.setTimeout(wg.hideSharePanel, 0);
      }
    }, false);
    document.addEventListener('keydown', function (event) {
      if (event.key === 'Escape' || event.keyCode === 27) {
        wg.hideSharePanel();
      }
    }, false);
  };

  /* The loading card sits under the movie; if it is still to be seen after a while, say what may be wrong. */
  var watchSlowMovie = function () {
    window.setTimeout(function () {
      var hint = byId('wg-load-hint');
      if (hint) {
        hint.textContent = 'This is taking a while. The chat needs the Flash Player to be installed and allowed.';
      }
    }, slowMovieMs);
  };

  /* The loading card sits under the movie, where it would still be painted with each of the movie's frames: once the player has the movie (it fires loadeddata, as media elements do, without bubbling), the card leaves the rendering. */
  var watchMovieShown = function () {
    var cam = byId('cam');
    var shown = function () {
      var card = cam.querySelector('.wg-load-card');
      if (card) {
        card.style.display = 'none';
      }
      cam.removeEventListener('loadeddata', shown, true);
    };
    if (cam) {
      cam.addEventListener('loadeddata', shown, true);
    }
  };

  var start = function () {
    if (wg.ready) {
      return;
    }
    wg.ready = true;
    try {
      watchSharePanel();
      watchRecordButton();
      watchSlowMovie();
      watchMovieShown();
      wg.note('Your chat screen is ready.');
    } catch (e) {
      wg.startError = String(e);
    }
  };

  /* The chat screen's mark-up arrives just after this script runs: wait for it, by observer where there is one and by polling in any case. */
  var waitForScreen = function () {
    var tries = 0;
    var observer = null;
    var check = function () {
      if (wg.ready) {
        return true;
      }
      if (byId('butRec')) {
        if (observer) {
          observer.disconnect();
        }
        start();
        return true;
      }
      return false;
    };
    var poll = function () {
      tries += 1;
      if (check()) {
        return;
      }
      if (tries < 600) {
        window.setTimeout(poll, 100);
      } else if (observer) {
        observer.disconnect();
      }
    };
    if (window.MutationObserver && document.documentElement) {
      observer = new MutationObserver(function () {
        check();
      });
      observer.observe(document.documentElement, { childList: true, subtree: true });
    }
    window.setTimeout(poll, 0);
  };

  waitForScreen();
}());
