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
    std::string allowScriptAccess;  // the site's "allowScriptAccess" parameter, as given
};

// The script access the client's own copy of the movie gets: what the site's
// object gave it ("always", "sameDomain" or "never", in any case), and
// "sameDomain" when it gave none or something else. Never more than the site gave.
std::string ScriptAccessFor(const std::string& siteValue);

// Whether two texts are equal but for the case of ASCII letters.
bool SameIgnoringCase(const std::string& a, const std::string& b);

// Escapes & < > " ' so that a value read from a page can stand in mark-up.
std::string EscapeHtml(const std::string& text);

// Replaces the template's "%name%", "%movie%", "%flashvars%" and
// "%scriptaccess%" with the escaped values, each occurrence once; the values are not searched for
// placeholders. The flashvars value gets "&amp;layout=h" when it lacks
// "layout=h".
std::string FillBodyTemplate(const std::string& text, const FlashParameters& flash);

}  // namespace chatpage
