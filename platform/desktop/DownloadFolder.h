#pragma once
// The folder where files from the chat are saved, and the file operations
// that keep a download from ever overwriting a file or showing its final name
// before it is complete. Failures throw support::Failure, saying why.

#include <cstdint>
#include <optional>
#include <string>

namespace desktop {

// The desktop's download folder (XDG), made when it does not exist yet; the
// home folder where the desktop names none, as the desktop itself does.
std::string downloadFolder();

// Bytes free for this user in folder, or nothing when it cannot be told.
std::optional<std::uint64_t> freeBytes(const std::string& folder);

// Makes an empty file, only the user's, for a download of name in folder,
// under a name of its own ("notes.txt.A1b2C3.part"); returns its path.
std::string makePartFile(const std::string& folder, const std::string& name);

// Gives the complete part file its final name in folder: name, or the first
// "name (n)" that no file has; an existing file is never replaced. Returns
// the path it now has.
std::string moveIntoPlace(const std::string& partFile, const std::string& folder,
                          const std::string& name);

}  // namespace desktop
