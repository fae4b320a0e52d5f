#include "BenchPages.h"

#include <glib.h>

#include <algorithm>

#include "chatpage/BodyTemplate.h"
#include "platform/gtk/BridgeScript.h"

namespace bench {

std::string chatPage(int elements) {
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Chat</title>"
        "<style>body { background: #fff; } .row { padding: 2px; }</style>"
        "<style>.button_im { border: 1px solid #789; }</style></head><body>"
        "<div id=\"topbar\">Chat <span class=\"button_im\" id=\"im_inbox\">Messages</span></div>"
        "<object id=\"chatmovie\" width=\"400\" height=\"300\"><param name=\"movie\" "
        "value=\"/flash/chat.swf\"><param name=\"flashvars\" value=\"room=lobby&amp;lang=en\">"
        "<param name=\"quality\" value=\"high\"></object>"
        "<iframe src=\"about:blank\" width=\"100\" height=\"50\"></iframe><div id=\"rows\">";
    const char* classes[] = {"row", "module-round", "button_im", "row", "module-round2"};
    int made = 12;
    for (int k = 0; made < elements; ++k) {
        page += "<div class=\"" + std::string(classes[k % 5]) + "\" id=\"r" + std::to_string(k) +
                "\"><span class=\"" + (k % 3 ? "name" : "button_im") + "\">user " +
                std::to_string(k) + "</span> message text <b>" + std::to_string(k) + "</b></div>";
        made += 3;
    }
    return page + "</div></body></html>";
}

namespace {

std::string readJoined(const std::string& path) {
    g_autofree gchar* text = nullptr;
    if (!g_file_get_contents(path.c_str(), &text, nullptr, nullptr)) return {};
    std::string joined;
    for (const char* p = text; *p; ++p)
        if (*p != '\n' && *p != '\r') joined += *p;
    return joined;
}

}  // namespace

std::string preparationScript(const std::string& htmlFolder) {
    using gtkui::jsString;
    chatpage::FlashParameters flash{"chatmovie", "/flash/chat.swf", "room=lobby&lang=en", true, ""};
    std::string body = chatpage::FillBodyTemplate(readJoined(htmlFolder + "/Body.html"), flash);
    const std::string img = "whirligig-res:///Img/";
    return "(() => { const d = document, img = " + jsString(img) +
           ";"
           "const b = d.body; b.style.borderStyle = 'none';"
           "b.style.background = 'url(' + img + 'bg.gif) repeat-x #262626';"
           "for (const o of d.getElementsByTagName('OBJECT')) { o.id;"
           "  for (const p of o.getElementsByTagName('PARAM')) { p.name; p.value; } }"
           "for (const s of [...d.styleSheets]) s.disabled = true;"
           "const st = d.createElement('style'); (d.head || d.documentElement).appendChild(st);"
           "st.textContent = " +
           jsString(readJoined(htmlFolder + "/Style.css")) +
           ";"
           "const sc = d.createElement('script'); sc.type = 'text/javascript'; sc.text = " +
           jsString(readJoined(htmlFolder + "/Script.js")) +
           ";"
           "d.getElementsByTagName('HEAD')[0].appendChild(sc);"
           "b.insertAdjacentHTML('beforeEnd', " +
           jsString(body) +
           ");"
           "for (const s of d.getElementsByTagName('SPAN'))"
           "  if (!/^but.+Name$/.test(s.id) && s.className === 'button_im')"
           "    s.style.background = 'url(' + img + 'im_button.gif) no-repeat';"
           "const classes = {'module-round': '#d5d8de url(' + img + 'tl.gif) 0 0 no-repeat',"
           "  'module-round2': 'url(' + img + 'tr.gif) 100% 0 no-repeat',"
           "  'module-round3': 'url(' + img + 'bl.gif) 0 100% no-repeat',"
           "  'module-round4': 'url(' + img + 'br.gif) 100% 100% no-repeat',"
           "  'button_im': 'transparent url(' + img + 'im_button.gif) 0 0 no-repeat'};"
           "for (const v of d.getElementsByTagName('DIV')) {"
           "  if (v.id === 'topbar' || v.id === 'load_msg')"
           "    v.style.background = 'url(' + img + 'logo.gif) no-repeat right top';"
           "  if (classes[v.className]) v.style.background = classes[v.className]; }"
           "for (const id of ['ShareThis', 'facebook', 'twitter', 'bebo', 'myspace', 'gmail',"
           "  'yahoo', 'hotmail', 'aol']) { const e = d.getElementById(id);"
           "  if (e) e.style.background = 'url(' + img + id + '.gif) 5px 4px no-repeat'; }"
           "for (const h of d.getElementsByTagName('HTML')) h.style.overflow = 'hidden';"
           "const f = e => e.preventDefault();"
           "for (const [t, x] of [['click', d.getElementById('butRec')],"
           "  ['mouseover', d.getElementById('butShare')], ['mouseout', "
           "d.getElementById('butShare')],"
           "  ['dragstart', d], ['contextmenu', d], ['selectstart', d.body]])"
           "  if (x) x.addEventListener(t, f);"
           "return d.body.offsetWidth; })()";
}

Figures figures(std::vector<double> samples) {
    Figures f;
    if (samples.empty()) return f;
    std::sort(samples.begin(), samples.end());
    f.median = samples[samples.size() / 2];
    f.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    f.max = samples.back();
    return f;
}

}  // namespace bench
