#pragma once
// Spell checking in the chat's text fields, through the engine's own spell
// checker, in the languages of the user's locale with the dictionaries the
// system has.

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

namespace gtkui {

// The spell checker's language names for the locale names of the environment,
// in the order of g_get_language_names(): "de_DE.UTF-8" -> "de_DE", then "de".
// "C" and "POSIX" name no language.
std::vector<std::string> spellingLanguages(const std::vector<std::string>& localeNames);

// Switches spell checking on in the locale's languages (or off), and logs
// which dictionaries it uses, or once that the locale's have none.
void setSpellChecking(WebKitWebContext* context, bool on);

}  // namespace gtkui
