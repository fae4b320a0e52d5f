#include "chatpage/BodyTemplate.h"

namespace chatpage {

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    if (what.empty()) return text;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

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

std::string FillBodyTemplate(std::string text, const FlashParameters& flash) {
    std::string flashvars = EscapeHtml(flash.flashvars);
    // The test is made on the value as the page gave it.
    if (flash.hasFlashvars && flash.flashvars.find("layout=h") == std::string::npos)
        flashvars += "&amp;layout=h";
    text = ReplaceAll(std::move(text), "%name%", EscapeHtml(flash.objectId));
    text = ReplaceAll(std::move(text), "%movie%", EscapeHtml(flash.movie));
    return ReplaceAll(std::move(text), "%flashvars%", flashvars);
}

}  // namespace chatpage
