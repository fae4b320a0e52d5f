#pragma once
// The settings files: GKeyFile texts that override the built-in addresses
// and say which sounds a recording carries.
//
//   [Addresses]
//   UpdateBase=https://updates.example.com/desktop/
//   ChatStart=https://chat.example.com/
//   StatisticsPage=https://stats.example.com/index.html
//   UploadPage=https://video.example.com/my_videos_upload
//
//   [Recording]
//   ChatSound=true    # what the chat plays
//   Microphone=false  # the person's own voice
//
//   [Chat]
//   SpellChecking=true  # in the chat's text fields
//
// The system-wide file is read first, then the user's: a key in a later file
// wins. A key that is absent keeps the value before it.

#include <functional>
#include <string>
#include <vector>

#include "support/Settings.h"

namespace desktop {

// The desktop's own settings, beside the addresses the core takes.
struct RecordingSettings {
    bool chatSound = true;
    bool microphone = true;
};

struct ChatSettings {
    bool spellChecking = true;
};

inline constexpr const char* SystemSettingsFile = "/etc/whirligigcam/whirligigcam.conf";

// The system-wide file, then the user's under the XDG config folder.
std::vector<std::string> settingsFiles();

// Reads the files that exist, in order, over the defaults. Each problem goes to
// warn as one line that names the file and line; a file that is not a regular
// file, is over 1 MiB or does not parse is ignored as a whole; an address that
// is not http or https, or holds a control character or a user name or
// password, keeps the value before it; so does a [Recording] value that is not
// true or false, and so does a [Chat] value. recording and chat, when given,
// take the [Recording] and [Chat] groups over what they hold.
support::Settings loadSettings(support::Settings defaults, const std::vector<std::string>& files,
                               const std::function<void(const std::string&)>& warn,
                               RecordingSettings* recording = nullptr,
                               ChatSettings* chat = nullptr);

}  // namespace desktop
