#pragma once
// What the client does with addresses that a page hands it: which may leave
// for the desktop's default handler, and which may be shown as a page of the
// site's views. Pages are untrusted: their addresses are checked, not trusted.

#include <string>

namespace gtkui {

// The longest address a page may send to the desktop; longer ones are refused.
inline constexpr std::size_t LongestOpenableAddress = 2048;

// Whether a page may have the desktop open an address: an http or https
// address with a host, or a mailto address, no longer than the limit above.
// Other schemes (file:, data:, javascript:, ssh:, schemes registered by other
// programs) would hand the page a way to run or read things on the desktop.
bool mayOpenElsewhere(const std::string& address);

// Whether an address is a mailto address: a mail program, not a page, shows it.
bool isMailAddress(const std::string& address);

// Whether an address is one of the client's own pages (its resource scheme)
// or a local file: the site's views never show those as a page, or a site
// could dress itself as the client.
bool isClientOrLocalPage(const std::string& address);

// An address fit for a log line: cut to a readable length.
std::string shownAddress(const std::string& address);

}  // namespace gtkui
