#pragma once
// Fills the body template's placeholders with the site's Flash parameters.

#include <string>

namespace chatpage {

// The Flash movie's parameters as read from the chat page.
struct FlashParameters {
    std::string objectId;
    std::string movie;
    std::string flashvars;
    bool hasFlashvars = false;  // a "flashvars" parameter was found
};

// Replaces every occurrence, case-sensitively.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);

// Escapes & < > " ' so that a value read from a page can stand in mark-up.
std::string EscapeHtml(const std::string& text);

// "%name%", "%movie%", "%flashvars%" in that order. Each value is escaped;
// the flashvars value gets "&amp;layout=h" when it lacks "layout=h".
std::string FillBodyTemplate(std::string text, const FlashParameters& flash);

}  // namespace chatpage
