#include "platform/desktop/MailAddress.h"

#include <glib.h>

#include <array>
#include <string_view>

#include "support/Log.h"

namespace desktop {
namespace {

constexpr std::array<std::string_view, 5> PassedFields = {"to", "cc", "bcc", "subject", "body"};

// The text without line breaks, raw or percent-encoded.
std::string withoutLineBreaks(std::string_view text) {
    std::string kept;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') continue;
        if (text[i] == '%' && i + 2 < text.size() && text[i + 1] == '0' &&
            (g_ascii_tolower(text[i + 2]) == 'd' || g_ascii_tolower(text[i + 2]) == 'a')) {
            i += 2;
            continue;
        }
        kept += text[i];
    }
    return kept;
}

std::string decodedName(std::string_view name) {
    const std::string raw(name);
    g_autofree gchar* decoded = g_uri_unescape_string(raw.c_str(), nullptr);
    if (!decoded) return raw;
    g_autofree gchar* lower = g_ascii_strdown(decoded, -1);
    return lower;
}

}  // namespace

std::string mailAddressToOpen(const std::string& address) {
    if (address.size() > LongestMailAddress) {
        support::logWarning("a mail address of " + std::to_string(address.size()) +
                            " characters was refused: the longest opened is " +
                            std::to_string(LongestMailAddress));
        return "";
    }
    const std::size_t query = address.find('?');
    std::string_view fields = std::string_view(address).substr(std::min(query, address.size()));
    fields = fields.substr(0, fields.find('#'));
    std::string kept = withoutLineBreaks(std::string_view(address).substr(0, query));
    std::string dropped;
    char separator = '?';
    while (!fields.empty()) {
        fields.remove_prefix(1);  // '?' or '&'
        const std::string_view field = fields.substr(0, fields.find('&'));
        fields = fields.substr(field.size());
        if (field.empty()) continue;
        const std::size_t equals = std::min(field.find('='), field.size());
        const std::string name = decodedName(field.substr(0, equals));
        bool passes = false;
        for (std::string_view passed : PassedFields) passes = passes || name == passed;
        if (!passes) {
            dropped += (dropped.empty() ? "" : ", ") + std::string(field.substr(0, equals));
            continue;
        }
        const std::string_view value = field.substr(equals);
        kept += separator + name + (name == "body" ? std::string(value) : withoutLineBreaks(value));
        separator = '&';
    }
    if (!dropped.empty())
        support::logWarning(
            "a mail address's fields other than to, cc, bcc, subject and body "
            "were dropped: " +
            dropped);
    return kept;
}

}  // namespace desktop
