#pragma once
// The languages that pages are asked for, from the user's locale.

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

namespace gtkui {

// The web languages (BCP 47) for the locale names of the environment, in the
// order of g_get_language_names(): "de_DE.UTF-8" -> "de-DE". "C" and "POSIX"
// name no language; with none left the answer is "en-US" (the player's
// locale set-up throws on the language "C").
std::vector<std::string> webLanguages(const std::vector<std::string>& localeNames);

// Gives the context the user's preferred languages.
void setPreferredLanguages(WebKitWebContext* context);

}  // namespace gtkui
