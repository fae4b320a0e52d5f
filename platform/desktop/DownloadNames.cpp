#include "platform/desktop/DownloadNames.h"

#include <glib.h>

namespace desktop {
namespace {

constexpr std::size_t LongestKeptExtension = 16;  // bytes, with its dot

// The first bytes of text, at most limit, ending on a character's boundary.
std::string cutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// Where the extension starts ("notes.txt" -> 5), or npos when there is none.
std::size_t extensionStart(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > LongestKeptExtension)
        return std::string::npos;
    return dot;
}

// Stem and extension together within limit bytes: the stem is cut first.
std::string fitted(const std::string& stem, const std::string& extension, std::size_t limit) {
    if (extension.size() >= limit) return cutUtf8(stem + extension, limit);
    return cutUtf8(stem, limit - extension.size()) + extension;
}

// Control characters, line and paragraph separators, and the marks that turn
// the direction of text ("evil\u202Etxt.exe" shows as "evilexe.txt").
bool unwanted(gunichar c) {
    return g_unichar_iscntrl(c) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string trimmedSpaces(const std::string& text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

}  // namespace

std::string cleanDownloadName(const std::string& suggested) {
    // Both separators: a name made for another system must not keep a folder either.
    const std::size_t slash = suggested.find_last_of("/\\");
    const std::string last = slash == std::string::npos ? suggested : suggested.substr(slash + 1);
    g_autofree gchar* valid = g_utf8_make_valid(last.data(), static_cast<gssize>(last.size()));
    std::string plain;
    for (const gchar* p = valid; *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (unwanted(c)) continue;
        plain.append(p, g_utf8_next_char(p) - p);
    }
    std::string name = trimmedSpaces(plain);
    while (!name.empty() && name.front() == '.') name = trimmedSpaces(name.substr(1));
    if (name.empty()) return "download";
    const std::size_t dot = extensionStart(name);
    if (dot == std::string::npos) return cutUtf8(name, LongestDownloadName);
    return fitted(name.substr(0, dot), name.substr(dot), LongestDownloadName);
}

std::string numberedName(const std::string& name, unsigned n) {
    if (n == 0) return name;
    const std::size_t dot = extensionStart(name);
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const std::string number = " (" + std::to_string(n) + ")";
    return fitted(stem, number + extension, LongestDownloadName);
}

}  // namespace desktop
