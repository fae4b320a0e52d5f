#pragma once
// Splits a text at every separator. Empty pieces are kept: the result has one
// piece more than the text has separators ("" gives one empty piece).

#include <string>
#include <string_view>
#include <vector>

namespace support {

inline std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    for (;;) {
        const size_t end = text.find(separator);
        pieces.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) return pieces;
        text.remove_prefix(end + 1);
    }
}

}  // namespace support
