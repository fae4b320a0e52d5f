#pragma once
// The Flash player of the chat view: WebKitGTK plays no Flash, so the view
// carries the bundled Ruffle emulator the way a browser carries a plug-in.
// Every page of the view gets a script that gives each rendered Flash
// <object>/<embed> a player inside it (as the element's fallback content, so
// the site's elements keep their tag, id and parameters), and takes the player
// away again when the element stops being rendered.

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

namespace gtkui {

// The player's folder inside the application folder.
inline constexpr const char* PlayerFolder = "flashplayer";

// True when playerRoot holds the player (its loader script).
bool havePlayer(const std::string& playerRoot);

// Adds the player to every page of the view with this content manager.
void addChatViewPlayer(WebKitUserContentManager* content);

// The web languages (BCP 47) for the locale names of the environment, in the
// order of g_get_language_names(): "de_DE.UTF-8" -> "de-DE". "C" and "POSIX"
// name no language; with none left the answer is "en-US" (the player's
// locale set-up throws on the language "C").
std::vector<std::string> webLanguages(const std::vector<std::string>& localeNames);

// Gives the context the user's preferred languages.
void setPreferredLanguages(WebKitWebContext* context);

}  // namespace gtkui
