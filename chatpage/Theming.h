#pragma once
// Gives the page's buttons, top bar, rounded boxes and share panel the
// client's images, as inline background values.

#include <string>

#include "platform/Page.h"
#include "platform/Window.h"

namespace chatpage {

// True for ids that begin with "but" and end with "Name" (butName, butRecName).
bool MatchesButNamePattern(const std::string& id);

void ThemePageElements(const platform::DocumentRef& document, platform::App& app);

}  // namespace chatpage
