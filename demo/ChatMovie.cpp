#include "demo/ChatMovie.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace site {

void SwfBits::bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (free_ == 0) {
            data_.push_back(0);
            free_ = 8;
        }
        --free_;
        if ((value >> i) & 1u) data_.back() |= static_cast<std::uint8_t>(1u << free_);
    }
}

void SwfBits::signedBits(std::int32_t value, int count) {
    bits(static_cast<std::uint32_t>(value) & ((count >= 32) ? ~0u : ((1u << count) - 1)), count);
}

void SwfBits::align() { free_ = 0; }

void SwfBits::u8(std::uint8_t value) {
    align();
    data_.push_back(value);
}

void SwfBits::u16(std::uint16_t value) {
    u8(value & 0xff);
    u8(value >> 8);
}

void SwfBits::u32(std::uint32_t value) {
    u16(value & 0xffff);
    u16(value >> 16);
}

void SwfBits::string(const std::string& text) {
    for (char c : text) u8(static_cast<std::uint8_t>(c));
    u8(0);
}

void SwfBits::bytes(const std::vector<std::uint8_t>& more) {
    align();
    data_.insert(data_.end(), more.begin(), more.end());
}

int signedWidth(std::int32_t value) {
    int width = 1;
    while (width < 32 &&
           (value < -(std::int32_t{1} << (width - 1)) || value >= (std::int32_t{1} << (width - 1))))
        ++width;
    return width;
}

namespace {

constexpr int kTwips = 20;
constexpr int kWidth = 640, kHeight = 360;
constexpr int kLoopFrames = 24;

enum Tag : std::uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    SetBackgroundColor = 9,
    DoAction = 12,
    DefineSound = 14,
    StartSound = 15,
    PlaceObject2 = 26,
    DefineEditText = 37,
    DefineFont2 = 48,
    FileAttributes = 69,
};

enum Id : std::uint16_t {
    ShapeId = 1,
    FontId = 2,
    TitleId = 3,
    UserId = 4,
    InfoId = 5,
    ChimeId = 6
};

void tag(SwfBits& out, Tag code, const SwfBits& body) {
    const auto& data = body.data();
    if (data.size() < 63) {
        out.u16(static_cast<std::uint16_t>(code << 6 | data.size()));
    } else {
        out.u16(static_cast<std::uint16_t>(code << 6 | 0x3f));
        out.u32(static_cast<std::uint32_t>(data.size()));
    }
    out.bytes(data);
}

void rect(SwfBits& out, int xMin, int xMax, int yMin, int yMax) {
    int width = 1;
    for (int v : {xMin, xMax, yMin, yMax}) width = std::max(width, signedWidth(v));
    out.bits(width, 5);
    for (int v : {xMin, xMax, yMin, yMax}) out.signedBits(v, width);
    out.align();
}

// A matrix that only translates.
void translation(SwfBits& out, int x, int y) {
    out.bits(0, 1);  // no scale
    out.bits(0, 1);  // no rotation
    const int width = std::max(signedWidth(x), signedWidth(y));
    out.bits(width, 5);
    out.signedBits(x, width);
    out.signedBits(y, width);
    out.align();
}

void rgb(SwfBits& out, std::uint32_t colour) {
    out.u8(colour >> 16 & 0xff);
    out.u8(colour >> 8 & 0xff);
    out.u8(colour & 0xff);
}

// A filled rectangle with its top left corner at the origin.
SwfBits box(int width, int height, std::uint32_t colour) {
    SwfBits s;
    s.u16(ShapeId);
    rect(s, 0, width, 0, height);
    s.u8(1);     // one fill style
    s.u8(0x00);  // solid
    rgb(s, colour);
    s.u8(0);       // no line styles
    s.bits(1, 4);  // fill index bits
    s.bits(0, 4);  // line index bits
    // Style change: fill style 1, move to (0, 0).
    s.bits(0, 1);
    s.bits(0b00101, 5);
    s.bits(1, 5);
    s.signedBits(0, 1);
    s.signedBits(0, 1);
    s.bits(1, 1);
    // Four straight edges, each along one axis.
    auto edge = [&](bool vertical, int delta) {
        const int width = std::max(2, signedWidth(delta));
        s.bits(1, 1);  // edge
        s.bits(1, 1);  // straight
        s.bits(width - 2, 4);
        s.bits(0, 1);  // not a general line
        s.bits(vertical ? 1 : 0, 1);
        s.signedBits(delta, width);
    };
    edge(false, width);
    edge(true, height);
    edge(false, -width);
    edge(true, -height);
    s.bits(0, 6);  // end of shape
    s.align();
    return s;
}

// A device font ("_sans"): no glyphs of its own, the player draws the text.
SwfBits deviceFont() {
    SwfBits s;
    s.u16(FontId);
    s.u8(0x04);  // wide codes
    s.u8(1);     // Latin
    const std::string name = "_sans";
    s.u8(static_cast<std::uint8_t>(name.size()));
    for (char c : name) s.u8(static_cast<std::uint8_t>(c));
    s.u16(0);  // no glyphs
    s.u16(2);  // the (empty) code table follows this offset
    return s;
}

// A read-only text field; bound to a variable, or showing fixed text.
SwfBits textField(Id id, int height, int points, const std::string& variable,
                  const std::string& text) {
    SwfBits s;
    s.u16(id);
    rect(s, 0, (kWidth - 40) * kTwips, 0, height * kTwips);
    s.u8(static_cast<std::uint8_t>((text.empty() ? 0 : 0x80) | 0x08 | 0x04 | 0x01));
    s.u8(0x10);  // not selectable
    s.u16(FontId);
    s.u16(static_cast<std::uint16_t>(points * kTwips));
    rgb(s, 0xffffff);
    s.u8(0xff);
    s.string(variable);
    if (!text.empty()) s.string(text);
    return s;
}

SwfBits place(Id id, int depth, int x, int y) {
    SwfBits s;
    s.u8(0x06);  // character and matrix
    s.u16(static_cast<std::uint16_t>(depth));
    s.u16(id);
    translation(s, x * kTwips, y * kTwips);
    return s;
}

SwfBits move(int depth, int x, int y) {
    SwfBits s;
    s.u8(0x05);  // move, matrix
    s.u16(static_cast<std::uint16_t>(depth));
    translation(s, x * kTwips, y * kTwips);
    return s;
}

// A short chime: a sine of kChimeHertz for half a second, mono 16-bit PCM at
// 22,050 Hz, faded in and out over 10 ms so it starts and ends without a click.
SwfBits chime() {
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate / 2, kFade = kRate / 100;
    constexpr double kAmplitude = 0.25 * 32767, kPi = 3.14159265358979323846;
    SwfBits s;
    s.u16(ChimeId);
    s.bits(3, 4);  // uncompressed, little-endian
    s.bits(2, 2);  // 22 kHz
    s.bits(1, 1);  // 16-bit
    s.bits(0, 1);  // mono
    s.u32(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const double fade = std::min({1.0, double(i) / kFade, double(kSamples - 1 - i) / kFade});
        const double value = kAmplitude * fade * std::sin(2 * kPi * kChimeHertz * i / kRate);
        s.u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value))));
    }
    return s;
}

SwfBits startChime() {
    SwfBits s;
    s.u16(ChimeId);
    s.u8(0);  // no flags: play once from the start
    return s;
}

// ActionScript 2 byte code.
struct Actions {
    SwfBits s;
    void push(const std::string& text) {
        s.u8(0x96);
        s.u16(static_cast<std::uint16_t>(text.size() + 2));
        s.u8(0);  // string
        s.string(text);
    }
    void pushInt(std::int32_t value) {
        s.u8(0x96);
        s.u16(5);
        s.u8(7);  // integer
        s.u32(static_cast<std::uint32_t>(value));
    }
    void op(std::uint8_t code) { s.u8(code); }
};

constexpr std::uint8_t Pop = 0x17, GetVariable = 0x1c, SetVariable = 0x1d, StringAdd = 0x21,
                       Add2 = 0x47, GetMember = 0x4e, CallMethod = 0x52, Play = 0x06,
                       GotoFrame = 0x81;

// flash.external.ExternalInterface.call(function, <the value on the stack>);
void callPage(Actions& a, const std::string& function) {
    a.push(function);
    a.pushInt(2);
    a.push("flash");
    a.op(GetVariable);
    a.push("external");
    a.op(GetMember);
    a.push("ExternalInterface");
    a.op(GetMember);
    a.push("call");
    a.op(CallMethod);
    a.op(Pop);
}

// loops = 0;
// info = "user=" + user + "&room=" + room + "&lang=" + lang + "&layout=" + layout;
// flash.external.ExternalInterface.call("chatMovieStarted", info);
SwfBits firstFrameActions() {
    Actions a;
    a.push("loops");
    a.pushInt(0);
    a.op(SetVariable);
    a.push("info");
    bool first = true;
    for (const char* name : {"user", "room", "lang", "layout"}) {
        a.push(std::string(first ? "" : "&") + name + "=");
        if (!first) a.op(StringAdd);
        a.push(name);
        a.op(GetVariable);
        a.op(StringAdd);
        first = false;
    }
    a.op(SetVariable);
    a.push("info");
    a.op(GetVariable);
    callPage(a, "chatMovieStarted");
    a.op(0);
    return a.s;
}

// loops = loops + 1; flash.external.ExternalInterface.call("chatMovieLoop", loops);
// gotoAndPlay(2): the first frame runs once, the others loop. The page can
// tell from the count that the movie moves on, once a loop (2 s).
SwfBits loopActions() {
    Actions a;
    a.push("loops");
    a.push("loops");
    a.op(GetVariable);
    a.pushInt(1);
    a.op(Add2);
    a.op(SetVariable);
    a.push("loops");
    a.op(GetVariable);
    callPage(a, "chatMovieLoop");
    a.op(GotoFrame);
    a.s.u16(2);
    a.s.u16(1);
    a.op(Play);
    a.op(0);
    return a.s;
}

}  // namespace

std::string makeChatMovie() {
    SwfBits body;
    {
        SwfBits s;
        s.u32(0);
        tag(body, FileAttributes, s);
    }
    {
        SwfBits s;
        rgb(s, 0x1d2b44);
        tag(body, SetBackgroundColor, s);
    }
    tag(body, DefineShape, box(80 * kTwips, 80 * kTwips, 0xf08c28));
    tag(body, DefineFont2, deviceFont());
    tag(body, DefineEditText, textField(TitleId, 40, 26, "", "Whirligig Chat"));
    tag(body, DefineEditText, textField(UserId, 30, 18, "user", ""));
    tag(body, DefineEditText, textField(InfoId, 30, 14, "info", ""));
    tag(body, DefineSound, chime());

    // Frame 1: everything in place, the page told.
    constexpr int kShapeTop = 150, kLeft = 20, kRight = kWidth - 20 - 80;
    tag(body, PlaceObject2, place(ShapeId, 1, kLeft, kShapeTop));
    tag(body, PlaceObject2, place(TitleId, 2, 20, 20));
    tag(body, PlaceObject2, place(UserId, 3, 20, 70));
    tag(body, PlaceObject2, place(InfoId, 4, 20, 300));
    tag(body, DoAction, firstFrameActions());
    tag(body, ShowFrame, SwfBits{});
    // Frames 2..: the shape slides right, then back.
    for (int frame = 0; frame < kLoopFrames; ++frame) {
        const int half = kLoopFrames / 2;
        const int step = frame < half ? frame : kLoopFrames - frame;
        tag(body, PlaceObject2, move(1, kLeft + (kRight - kLeft) * step / half, kShapeTop));
        // The chime sounds as the shape sets off, once a loop.
        if (frame == 0) tag(body, StartSound, startChime());
        if (frame == kLoopFrames - 1) tag(body, DoAction, loopActions());
        tag(body, ShowFrame, SwfBits{});
    }
    tag(body, End, SwfBits{});

    SwfBits header;
    rect(header, 0, kWidth * kTwips, 0, kHeight * kTwips);
    header.u16(12 << 8);  // 12 frames per second (8.8 fixed point)
    header.u16(1 + kLoopFrames);

    SwfBits file;
    file.u8('F');
    file.u8('W');
    file.u8('S');
    file.u8(8);
    file.u32(static_cast<std::uint32_t>(8 + header.data().size() + body.data().size()));
    file.bytes(header.data());
    file.bytes(body.data());
    return std::string(file.data().begin(), file.data().end());
}

}  // namespace site
