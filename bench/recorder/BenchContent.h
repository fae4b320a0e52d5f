#pragma once
// The benchmark's moving content: a chat-like picture that is a pure function
// of a frame number, which a bar code in its top-left corner carries. A frame
// read back from a recording can thus be compared with the exact picture that
// was on the screen, whatever the recorder's timing was.

#include <cstdint>
#include <optional>
#include <vector>

namespace bench {

// Draws picture `n` into a width x height BGRX buffer (4 bytes a pixel).
void renderContent(std::uint32_t n, int width, int height, std::vector<std::uint8_t>& bgrx);

// Reads the picture number from the bar code in a luma plane; nothing when
// the code is damaged.
std::optional<std::uint32_t> readBarCode(const std::uint8_t* luma, int stride);

}  // namespace bench
