// Length-prefixed messages on a byte stream (the call helper's socket): a
// four-byte big-endian length, then that many bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace support {

// The largest message either side accepts.
inline constexpr std::size_t MaxMessageBytes = 512 * 1024;

// Takes the next whole message off the front of `input`. Returns nothing
// while the message is incomplete; sets `tooLarge` (and returns nothing) when
// the announced length is over MaxMessageBytes, which ends the stream.
inline std::optional<std::string> takeMessage(std::string& input, bool& tooLarge) {
    tooLarge = false;
    if (input.size() < 4) return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t length = (std::size_t(b[0]) << 24) | (std::size_t(b[1]) << 16) |
                               (std::size_t(b[2]) << 8) | std::size_t(b[3]);
    if (length > MaxMessageBytes) {
        tooLarge = true;
        return std::nullopt;
    }
    if (input.size() < 4 + length) return std::nullopt;
    std::string message = input.substr(4, length);
    input.erase(0, 4 + length);
    return message;
}

}  // namespace support
