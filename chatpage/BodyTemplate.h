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

// Escapes & < > " ' so that a value read from a page can stand in mark-up.
std::string EscapeHtml(const std::string& text);

// Replaces the template's "%name%", "%movie%" and "%flashvars%" with the
// escaped values, each occurrence once; the values are not searched for
// placeholders. The flashvars value gets "&amp;layout=h" when it lacks
// "layout=h".
std::string FillBodyTemplate(const std::string& text, const FlashParameters& flash);

}  // namespace chatpage
