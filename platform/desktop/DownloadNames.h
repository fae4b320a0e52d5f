#pragma once
// The names files from the chat get in the download folder. A page names its
// files, and a page is untrusted: the name it suggests is cut down to a plain
// file name that cannot leave the folder, hide itself or confuse a terminal.

#include <cstddef>
#include <string>

namespace desktop {

inline constexpr std::size_t LongestDownloadName = 200;  // bytes

// The suggested name's last path part, valid UTF-8, without control
// characters (nor marks that turn the text's direction), leading dots or surrounding spaces, at
// most LongestDownloadName bytes (cut on a character's boundary, the extension kept where it is
// short); "download" when nothing is left.
std::string cleanDownloadName(const std::string& suggested);

// The name with " (n)" before its extension ("notes (2).txt"), still at most
// LongestDownloadName bytes; the name itself for n = 0.
std::string numberedName(const std::string& name, unsigned n);

}  // namespace desktop
