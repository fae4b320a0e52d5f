#include "demo/SitePages.h"

#include "demo/ChatMovie.h"

namespace site::pages {

std::string chatPage() {
    return R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Whirligig Chat - Lobby</title>
<link rel="stylesheet" type="text/css" href="/site.css">
<style type="text/css">
  #chatarea { position: relative; height: 420px; background: #dde4ee; }
  .button_im { cursor: pointer; padding: 3px 10px; border: 1px solid #7a8ca8; }
</style>
<script type="text/javascript">
// The chat movie says here that it runs, with the flashvars it was given; the
// site hears of its first start (/movie/started).
var chatMovieReports = [];
function chatMovieStarted(flashvars) {
  if (!chatMovieReports.length) fetch('/movie/started').catch(function () {});
  chatMovieReports.push(flashvars);
}
// And how many loops it has played (it reports at the end of each).
var chatMovieLoops = 0;
function chatMovieLoop(count) {
  chatMovieLoops = count;
}
</script>
<script type="text/javascript" src="/chat.js"></script>
<script type="text/javascript" src="/call.js"></script>
</head>
<body>
<div id="topbar"><a href="/">Whirligig Chat</a> <span class="button_im" id="im_inbox">Messages</span>
<span class="button_im" id="im_friends">Friends</span></div>
<div id="load_msg">Loading the chat, please wait...</div>
<div class="module-round"><div class="module-round2"><div class="module-round3"><div class="module-round4">
<div id="chatarea">
<object id="chatmovie" classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" width="100%" height="100%">
<param name="movie" value="/flash/chat.swf">
<param name="flashvars" value="user=Whirly&amp;room=lobby&amp;lang=en">
<param name="quality" value="high">
<param name="allowScriptAccess" value="sameDomain">
<embed name="chatmovie" src="/flash/chat.swf" flashvars="user=Whirly&amp;room=lobby&amp;lang=en" quality="high"
 type="application/x-shockwave-flash" width="100%" height="100%">
</object>
</div>
</div></div></div></div>
<div id="sidebar">
<span class="button_im" id="im_invite">Invite a friend</span>
<iframe id="adframe" src="/ad.html" width="300" height="250" frameborder="0" scrolling="no"></iframe>
</div>
<div id="footer"><a href="/stats/index.html">Statistics</a> | <a href="/my_videos_upload">Upload a video</a></div>
</body>
</html>
)";
}

std::string siteCss() {
    return R"(body { margin: 8px; font: 13px Verdana, Arial, sans-serif; background: #ffffff; color: #202020; }
#topbar { height: 32px; line-height: 32px; background: #3b5998; color: #ffffff; padding: 0 10px; }
#topbar a { color: #ffffff; font-weight: bold; text-decoration: none; }
#load_msg { padding: 6px; background: #fff8c4; border: 1px solid #e2c822; }
.module-round { border: 1px solid #b0b8c8; padding: 2px; }
.module-round2, .module-round3, .module-round4 { padding: 1px; }
#sidebar { margin-top: 8px; }
#footer { margin-top: 8px; font-size: 11px; }
)";
}

std::string advertisement() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Advertisement</title></head>
<body style="margin:0;background:#ffcc00;font:bold 18px sans-serif;text-align:center">
<p>Spin faster with Whirligig Premium!</p>
</body></html>
)";
}

std::string chatMovie() { return makeChatMovie(); }

std::string statistics(int visits) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Statistics</title></head>\n"
           "<body><h1>Statistics</h1><p id=\"visits\">Visits: " +
           std::to_string(visits) + "</p></body></html>\n";
}

std::string uploadForm() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Upload a video</title></head>
<body><h1>Upload a video</h1>
<form method="post" action="/my_videos_upload" enctype="multipart/form-data">
<input type="file" name="video" accept=".wmv,video/*"> <input type="submit" value="Upload">
</form></body></html>
)";
}

std::string uploadReceived(std::size_t bytes) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Upload a video</title>"
           "</head>\n<body><h1>Thank you</h1><p id=\"received\">Received " +
           std::to_string(bytes) + " bytes.</p></body></html>\n";
}

}  // namespace site::pages
