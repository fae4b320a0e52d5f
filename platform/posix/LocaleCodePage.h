#pragma once
// The system's code page on POSIX systems: the character set of the current
// locale (normally UTF-8), converted to UTF-8 with iconv.

#include <string>

#include "platform/Services.h"

namespace posix {

class LocaleCodePage : public platform::CodePage {
public:
    // The locale's character set (the program must have called setlocale).
    LocaleCodePage();
    // A named character set, such as "ISO-8859-1" or "CP1252".
    explicit LocaleCodePage(std::string charset);

    // Bytes that are not valid in the character set become U+FFFD each; the
    // rest of the text is still converted.
    std::string toText(const std::string& bytes) override;
    const std::string& charset() const { return charset_; }

private:
    std::string charset_;
};

}  // namespace posix
