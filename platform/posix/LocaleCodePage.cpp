#include "platform/posix/LocaleCodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <memory>

namespace posix {

namespace {
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
}  // namespace

LocaleCodePage::LocaleCodePage() : LocaleCodePage(nl_langinfo(CODESET)) {}

LocaleCodePage::LocaleCodePage(std::string charset) : charset_(std::move(charset)) {}

std::string LocaleCodePage::toText(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", charset_.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) throw support::Failure("unknown character set");
    std::unique_ptr<void, IconvCloser> closer(cd);

    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // An invalid or truncated sequence: replace one byte and go on.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    return out;
}

}  // namespace posix
