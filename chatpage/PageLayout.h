#pragma once
// Sizes of the chat page's elements for a page of W x H pixels.

#include <cstdint>
#include <string>

namespace chatpage {

struct PageLayout {
    std::int32_t contentHeight = 0;  // A
    std::int32_t camWidth = 0;       // B
    std::int32_t camHeight = 0;      // C
    std::int32_t logHeight = 0;      // D
    std::int32_t chatareaWidth = 0;  // E
};

// The cam keeps a height of 0.4 times its width while the log keeps more
// than 160 pixels; otherwise the log is held at 160 and the cam takes the
// rest. Throws support::Failure when a size leaves the 32-bit range.
PageLayout ComputePageLayout(std::int32_t W, std::int32_t H);

// "452px", "-80px".
std::string Pixels(std::int32_t value);

}  // namespace chatpage
