#pragma once
// The demo site's chat movie, written as an SWF file (version 8, ActionScript
// 2): a dark stage with a title, a shape that slides to and fro, and two text
// fields bound to the movie's variables "user" and "info". Its first frame sets
// "info" to the flashvars it was given ("user=...&room=...&lang=...&layout=...")
// and passes that text to the page function chatMovieStarted through
// ExternalInterface; the other frames loop, so the movie keeps moving, and a
// half-second chime of kChimeHertz sounds at the start of every loop (2 s).
// At the end of each loop it passes the number of loops played so far to the
// page function chatMovieLoop.

#include <cstdint>
#include <string>
#include <vector>

namespace site {

constexpr double kChimeHertz = 550;

std::string makeChatMovie();

// The bit-level writer behind the movie (SWF packs rectangles, matrices and
// shape records into bit fields, most significant bit first).
class SwfBits {
public:
    void bits(std::uint32_t value, int count);
    void signedBits(std::int32_t value, int count);
    void align();
    void u8(std::uint8_t value);
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void string(const std::string& text);  // NUL-terminated
    void bytes(const std::vector<std::uint8_t>& more);
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
    int free_ = 0;  // unused low bits of the last byte
};

// Bits needed for value as a signed field (two's complement).
int signedWidth(std::int32_t value);

}  // namespace site
