#include "BenchContent.h"

namespace bench {
namespace {

constexpr int kBlock = 16;  // bar code cell, in pixels
constexpr int kCountBits = 16;
constexpr int kCheckBits = 4;

std::uint32_t checkOf(std::uint32_t count) { return ((count & 0xffff) * 2654435761u) >> 28; }

std::uint32_t hash(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352d;
    x ^= x >> 15;
    x *= 0x846ca68b;
    return x ^ (x >> 16);
}

void put(std::vector<std::uint8_t>& bgrx, int width, int x, int y, int r, int g, int b) {
    std::uint8_t* p = &bgrx[(std::size_t(y) * width + x) * 4];
    p[0] = std::uint8_t(b);
    p[1] = std::uint8_t(g);
    p[2] = std::uint8_t(r);
    p[3] = 0;
}

}  // namespace

void renderContent(std::uint32_t n, int width, int height, std::vector<std::uint8_t>& bgrx) {
    bgrx.assign(std::size_t(width) * height * 4, 0);
    // Background: a fixed dark gradient, as a page's chrome would be.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) put(bgrx, width, x, y, 30 + y / 8, 30 + y / 8, 40 + x / 10);
    // A "webcam" panel: smooth colour fields that drift every frame.
    const int camX = 16, camY = 40, camW = 320, camH = 240;
    for (int y = 0; y < camH && camY + y < height; ++y)
        for (int x = 0; x < camW && camX + x < width; ++x) {
            const int u = x + int(n) * 3, v = y + int(n) * 2;
            const int r = 128 + ((u * 7 + v * 3) % 256 - 128) / 2;
            const int g = 100 + ((u * 2 - v * 5 + 4096) % 200) / 3;
            const int b = 90 + ((x * y / 64 + int(n)) % 120);
            put(bgrx, width, camX + x, camY + y, r, g, b);
        }
    // A moving "face": a bright disc crossing the panel.
    const int cx = camX + 40 + int(n * 4 % (camW - 80)), cy = camY + 120;
    for (int y = -30; y <= 30; ++y)
        for (int x = -30; x <= 30; ++x)
            if (x * x + y * y <= 900 && cx + x < width && cy + y < height)
                put(bgrx, width, cx + x, cy + y, 230, 190, 160);
    // A chat column: "lines of text" (short bars) that scroll up a line a second.
    const int chatX = 360, lineHeight = 14, scroll = int(n / 30);
    for (int line = 0; line * lineHeight < height - 40; ++line) {
        const std::uint32_t seed = hash(std::uint32_t(line + scroll));
        int x = chatX;
        for (int word = 0; word < 8 && x < width - 10; ++word) {
            const int length = 10 + int(hash(seed + word) % 40);
            for (int y = 0; y < 8; ++y)
                for (int i = 0; i < length && x + i < width; ++i)
                    put(bgrx, width, x + i, 40 + line * lineHeight + y, 210, 210, 210);
            x += length + 6;
        }
    }
    // The bar code: count and check bits, white for 1, on a black strip.
    const std::uint32_t code = (n & 0xffff) | (checkOf(n) << kCountBits);
    for (int bit = 0; bit < kCountBits + kCheckBits; ++bit) {
        const int level = (code >> bit) & 1 ? 255 : 0;
        for (int y = 0; y < kBlock; ++y)
            for (int x = 0; x < kBlock; ++x)
                put(bgrx, width, bit * kBlock + x, y, level, level, level);
    }
}

std::optional<std::uint32_t> readBarCode(const std::uint8_t* luma, int stride) {
    std::uint32_t code = 0;
    for (int bit = 0; bit < kCountBits + kCheckBits; ++bit) {
        int sum = 0;  // the cell's middle, away from blurred edges
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x) sum += luma[std::size_t(y) * stride + bit * kBlock + x];
        if (sum / 64 > 128) code |= 1u << bit;
    }
    const std::uint32_t count = code & 0xffff;
    if ((code >> kCountBits) != checkOf(count)) return std::nullopt;
    return count;
}

}  // namespace bench
