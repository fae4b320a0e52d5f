#include "platform/gtk/BridgeScript.h"

#include <glib.h>

#include <cstdio>
#include <string_view>
#include <utility>

namespace gtkui {
namespace {

// The scripts name the channels they post to as %EVENTS% and %FRAMES%.
std::string withChannels(std::string script) {
    for (const auto& [mark, channel] :
         {std::pair{"%EVENTS%", EventChannel}, std::pair{"%FRAMES%", FrameChannel}}) {
        const std::string_view from = mark, to = channel;
        for (size_t at = script.find(from); at != std::string::npos;
             at = script.find(from, at + to.size()))
            script.replace(at, from.size(), to);
    }
    return script;
}

}  // namespace

// Items of one answer are separated by \x1e, fields of one item by \x1f; the
// parts of a handler's first answer (R.prime) by \x1c and \x1d, collections
// read together by \x1b. All five are removed from the texts themselves. Handles the runtime makes are
// positive; handles the client allocates (created elements and sheets) are
// negative, so both can be made without waiting for each other.
const std::string RuntimeScript = withChannels(R"JS(
globalThis.__wgR || (globalThis.__wgR = (() => {
  const R = {token: Math.random().toString(36).slice(2) + Date.now().toString(36),
             h: new Map(), n: 1, s: new Map()};
  const channel = window.webkit && window.webkit.messageHandlers &&
                  window.webkit.messageHandlers.%EVENTS%;
  const post = m => { try { channel.postMessage(m); } catch (e) {} };
  const clean = v => (typeof v === 'string' ? v : '').replace(/[\x1b-\x1f]/g, ' ');
  // A handle of a body that the site has since replaced leads to the current body.
  R.g = i => {
    const o = R.h.get(i);
    if (o === undefined) throw new Error('no such handle');
    if (o && o.tagName === 'BODY' && !o.isConnected && o.ownerDocument === document &&
        document.body) return document.body;
    return o;
  };
  R.set = (i, o) => { R.h.set(i, o); };
  R.desc = e => {
    let d = clean(e.tagName) + '\x1f' + clean(e.id) + '\x1f' +
            clean(typeof e.className === 'string' ? e.className : e.getAttribute('class'));
    if (e.tagName === 'PARAM') d += '\x1f' + clean(e.name) + '\x1f' + clean(e.value);
    return d;
  };
  R.one = e => { if (!e) return ''; const i = R.n++; R.h.set(i, e); return i + '\x1e' + R.desc(e); };
  // A collection's elements; with childTag, then each element's descendants
  // of that tag (a count, then the elements).
  R.list = (c, childTag) => {
    const items = Array.from(c), parts = [R.n, items.length];
    for (const e of items) { R.h.set(R.n++, e); parts.push(R.desc(e)); }
    if (childTag) {
      for (const e of items) {
        const children = Array.from(e.getElementsByTagName(childTag));
        parts.push(children.length);
        for (const x of children) { R.h.set(R.n++, x); parts.push(R.desc(x)); }
      }
    }
    return parts.join('\x1e');
  };
  R.dims = e => e.offsetWidth + '\x1f' + e.offsetHeight;
  // What a handler will likely read next, taken with its first read: the
  // document element's size (when asked) and the elements of the ids the
  // client looks up on this page (null: the body).
  R.prime = (ids, root) => {
    const d = document, parts = [root && d.documentElement ? R.dims(d.documentElement) : ''];
    for (const id of ids) parts.push(R.one(id === null ? d.body : d.getElementById(id)));
    return parts.join('\x1c');
  };
  // Style writes as data: [handle, property, value] with indexes into texts,
  // each applied on its own so that a refused one skips only itself.
  R.styles = (texts, list) => {
    for (let k = 0; k < list.length; k += 3) {
      try {
        const o = R.g(list[k]), p = texts[list[k + 1]], v = texts[list[k + 2]];
        o.style[p] = v;
        if (o === document.body) R.bodyStyle.set(p, v);
      } catch (e) {}
    }
  };
  // The client's mark-up in the body outlives the site's re-rendering, as
  // single-page sites replace or empty the body: the elements the client
  // inserted into it go back to the end of the current body, in the same
  // microtask, so they never leave the screen. They are the same elements,
  // so handles and listeners on them hold; listeners, handles and inline
  // styles the client gave the old body pass to the new one. Each change of
  // the site costs one check, and removing copies one more that finds
  // nothing to do.
  // A site that re-renders its body from its HTML also copies the client's
  // mark-up: the copies (marked as the client's, but not the kept elements)
  // are removed, the site's own elements never. A site that replaces its
  // whole document (document.open) has taken the client's screen away: the
  // client is told once.
  R.kept = []; R.body = null; R.root = null; R.gone = false; R.bodyStyle = new Map();
  R.mark = 'data-whirligig-own';
  R.watch = new MutationObserver(() => R.restore());
  R.observe = b => {
    R.watch.disconnect();
    R.watch.observe(document, {childList: true});
    R.watch.observe(document.documentElement, {childList: true});
    R.watch.observe(b, {childList: true});
  };
  R.restore = () => {
    const b = document.body, old = R.body;
    if (!old || R.gone) return;
    if (document.documentElement !== R.root) {
      R.gone = true;
      post(R.token + '\x1fgone\x1f');
      return;
    }
    if (!b) return;
    if (b !== old) {
      R.body = b;
      for (const [i, o] of R.h) if (o === old) R.h.set(i, b);
      for (const x of R.s.values()) {
        if (x[0] !== old) continue;
        for (const [type, f] of x[1]) { old.removeEventListener(type, f); b.addEventListener(type, f); }
        x[0] = b;
      }
      for (const [p, v] of R.bodyStyle) b.style[p] = v;
      R.observe(b);
    }
    for (const e of R.kept) if (!e.isConnected) b.appendChild(e);
    for (const c of document.querySelectorAll('[' + R.mark + ']')) if (!R.kept.includes(c)) c.remove();
  };
  R.insert = (e, where, html) => {
    const inBody = e === document.body && /^(afterbegin|beforeend)$/i.test(where);
    const had = inBody ? new Set(e.children) : null;
    e.insertAdjacentHTML(where, html);
    if (!inBody) return;
    for (const c of e.children) {
      if (had.has(c)) continue;
      c.setAttribute(R.mark, '');
      R.kept.push(c);
    }
    if (!R.body) { R.body = e; R.root = document.documentElement; R.observe(e); }
  };
  R.sheets = () => {
    const l = document.styleSheets, first = R.n;
    for (let k = 0; k < l.length; k++) R.h.set(R.n++, l[k]);
    return first + '\x1e' + l.length;
  };
  R.rel = ids => { for (const i of ids) R.h.delete(i); };
  R.sheet = o => (o instanceof CSSStyleSheet ? o : o.sheet);
  R.css = (o, text) => {
    const node = o instanceof CSSStyleSheet ? o.ownerNode : o;
    if (!node) throw new Error('sheet without a node');
    node.textContent = text;
  };
  // A press and a release of the main button on the same bound element are a
  // click, also when the engine gives none: it drops the click when the site
  // took the pressed element out of the page in between, as a site that
  // re-renders its body does, even though the element came straight back.
  // The release waits one task for the engine's own click, so a click is
  // posted once.
  R.pressed = new Set(); R.pending = new Set();
  addEventListener('mousedown', () => R.pressed.clear(), true);
  R.clickOf = (sid, target, fns) => {
    const down = ev => { if (ev.isTrusted && ev.button === 0) R.pressed.add(sid); };
    const up = ev => {
      if (!R.pressed.delete(sid) || !ev.isTrusted || ev.button !== 0) return;
      R.pending.add(sid);
      setTimeout(() => {
        if (R.pending.delete(sid) && R.s.has(sid)) post(R.token + '\x1f' + sid + '\x1fclick');
      }, 0);
    };
    target.addEventListener('mousedown', down);
    target.addEventListener('mouseup', up);
    fns.push(['mousedown', down], ['mouseup', up]);
  };
  R.listen = (sid, target, list) => {
    const fns = [];
    for (const [type, cancel] of list) {
      // Only the user's own input reaches the client: events a page script
      // made (el.click(), dispatchEvent) are not trusted and are not posted.
      // The pointer entering or leaving the element: a move between the
      // element and its own children (mouseover and mouseout bubble) is
      // neither, and reporting it would hide and show again what the
      // element holds while the pointer is on it.
      const within = ev => (type === 'mouseover' || type === 'mouseout') &&
        ev.relatedTarget instanceof Node && ev.currentTarget.contains(ev.relatedTarget);
      const f = ev => {
        if (cancel) ev.preventDefault();
        if (!ev.isTrusted || within(ev)) return;
        if (type === 'click') R.pending.delete(sid);
        post(R.token + '\x1f' + sid + '\x1f' + type);
      };
      target.addEventListener(type, f);
      fns.push([type, f]);
      if (type === 'click') R.clickOf(sid, target, fns);
    }
    R.s.set(sid, [target, fns]);
  };
  R.unlisten = sid => {
    const x = R.s.get(sid);
    if (!x) return;
    for (const [type, f] of x[1]) x[0].removeEventListener(type, f);
    R.s.delete(sid);
  };
  // The viewport's size whenever it changes: the window's layout of the page follows it.
  R.size = '';
  addEventListener('resize', () => {
    const size = innerWidth + 'x' + innerHeight;
    if (size !== R.size) { R.size = size; post(R.token + '\x1fsize\x1f' + size); }
  });
  return R;
})());
)JS");

const std::string FrameScript = withChannels(R"JS(
if (window !== window.top) {
  window.addEventListener('load', () => {
    try { window.webkit.messageHandlers.%FRAMES%.postMessage(String(location.href)); }
    catch (e) {}
  });
}
)JS");

std::string jsString(const std::string& text) {
    g_autofree gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out = "\"";
    for (const char* p = valid; *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x2028 || c == 0x2029 || c == '<') {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                    out += buf;
                } else {
                    out.append(p, g_utf8_next_char(p) - p);
                }
        }
    }
    return out + "\"";
}

}  // namespace gtkui
