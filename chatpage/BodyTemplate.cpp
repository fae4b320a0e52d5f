#include "chatpage/BodyTemplate.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace chatpage {

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string ScriptAccessFor(const std::string& siteValue) {
    for (const char* known : {"always", "never"})
        if (SameIgnoringCase(siteValue, known)) return known;
    return "sameDomain";
}

std::string FillBodyTemplate(const std::string& text, const FlashParameters& flash) {
    std::string flashvars = EscapeHtml(flash.flashvars);
    // The test is made on the value as the page gave it.
    if (flash.hasFlashvars && flash.flashvars.find("layout=h") == std::string::npos)
        flashvars += "&amp;layout=h";
    const std::pair<std::string_view, std::string> placeholders[] = {
        {"%name%", EscapeHtml(flash.objectId)},
        {"%movie%", EscapeHtml(flash.movie)},
        {"%flashvars%", std::move(flashvars)},
        {"%scriptaccess%", ScriptAccessFor(flash.allowScriptAccess)},
    };

    // One pass over the template: a value is copied as it is and never scanned
    // again, so placeholder text inside the page's values stays literal and the
    // output is bounded by the template plus one copy of a value per placeholder.
    std::string out;
    size_t from = 0;
    for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
        const std::string_view rest = std::string_view(text).substr(at);
        const auto match = std::find_if(std::begin(placeholders), std::end(placeholders),
                                        [&](const auto& p) { return rest.starts_with(p.first); });
        if (match == std::end(placeholders)) {
            ++at;
            continue;
        }
        out.append(text, from, at - from);
        out += match->second;
        at += match->first.size();
        from = at;
    }
    out.append(text, from);
    return out;
}

}  // namespace chatpage
