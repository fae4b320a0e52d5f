#pragma once
// What of a page's mailto address reaches the mail program. Some mail
// programs act on fields beyond the message's own (attach= attaches a local
// file), and a header field with an encoded line break could add headers of
// its own; a page is untrusted, so only the message's fields pass, cleaned.

#include <string>

namespace desktop {

// The longest mailto address handed to the mail program.
inline constexpr std::size_t LongestMailAddress = 2000;

// The address with only its recipients and the fields to, cc, bcc, subject and
// body; encoded or raw CR and LF are removed from all but the body. Dropped
// fields are logged. "" when the address is longer than LongestMailAddress.
std::string mailAddressToOpen(const std::string& address);

}  // namespace desktop
