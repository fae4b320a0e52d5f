#include "platform/desktop/FlashPlayerVersion.h"

#include <glib.h>
#include <json-glib/json-glib.h>

#include <array>
#include <charconv>

namespace desktop {

std::string FlashPlayerVersion::playerString() const {
    return "LNX " + std::to_string(major) + "," + std::to_string(minor) + "," +
           std::to_string(build) + "," + std::to_string(revision);
}

std::optional<FlashPlayerVersion> parseFlashVersion(std::string_view text, char separator) {
    std::array<unsigned, 4> parts{};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            if (at == end || *at != separator) return std::nullopt;
            ++at;
        }
        // from_chars takes no sign or blank, so only digits pass.
        auto [next, error] = std::from_chars(at, end, parts[i]);
        if (error != std::errc() || next == at) return std::nullopt;
        at = next;
    }
    if (at != end) return std::nullopt;
    return FlashPlayerVersion{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<FlashPlayerVersion> flashVersionFromManifest(const std::string& path) {
    g_autoptr(JsonParser) parser = json_parser_new();
    std::optional<FlashPlayerVersion> version;
    if (json_parser_load_from_file(parser, path.c_str(), nullptr)) {
        JsonNode* root = json_parser_get_root(parser);
        if (root && JSON_NODE_HOLDS_OBJECT(root)) {
            JsonObject* object = json_node_get_object(root);
            JsonNode* member = json_object_get_member(object, "version");
            if (member && JSON_NODE_HOLDS_VALUE(member) &&
                json_node_get_value_type(member) == G_TYPE_STRING) {
                version = parseFlashVersion(json_node_get_string(member), '.');
            }
        }
    }
    return version;
}

std::optional<FlashPlayerVersion> flashVersionFromLibrary(const std::string& path) {
    g_autoptr(GMappedFile) file = g_mapped_file_new(path.c_str(), FALSE, nullptr);
    if (!file) return std::nullopt;
    const std::string_view data(g_mapped_file_get_contents(file), g_mapped_file_get_length(file));
    constexpr std::string_view kPrefix = "LNX ";
    std::optional<FlashPlayerVersion> version;
    for (auto at = data.find(kPrefix); at != std::string_view::npos && !version;
         at = data.find(kPrefix, at + 1)) {
        const auto numbers = at + kPrefix.size();
        const auto stop = data.find_first_not_of("0123456789,", numbers);
        version = parseFlashVersion(data.substr(numbers, stop - numbers), ',');
    }
    return version;
}

}  // namespace desktop
