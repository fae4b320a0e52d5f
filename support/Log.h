#pragma once
// The program's log, as the portable code sees it. The desktop backend
// installs a sink that writes to GLib's structured log; without a sink
// (unit tests, a backend that keeps no log) nothing is written.
//
// Levels: Debug for steps that failed and were skipped, Info for what the
// program does (the update check, navigations of the chat view, recording),
// Warning for problems a user or an administrator should see.
//
// Control characters other than tab reach the sink escaped (\r, \n, \xNN):
// a message often quotes text from outside (a settings file, a page address),
// which must not end a log line early, forge lines of its own or drive the
// terminal. The user information of addresses (user:password@) is removed,
// and a message longer than LongestLogMessage bytes is cut.

#include <algorithm>
#include <source_location>
#include <string>
#include <string_view>

namespace support {

enum class LogLevel { Debug, Info, Warning };

struct LogRecord {
    LogLevel level;
    std::string_view message;
    std::source_location where;
};

using LogSink = void (*)(const LogRecord& record);

// The sink is set once at start-up, before any handler runs or any thread
// starts. It is called from the user-interface thread and from the recorder's
// sound thread, so it must be safe to call from any thread (GLib's is).
inline LogSink& logSink() {
    static LogSink sink = nullptr;
    return sink;
}

inline void setLogSink(LogSink sink) { logSink() = sink; }

inline bool logging() { return logSink() != nullptr; }

inline bool isLogControl(char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
}

inline std::string escapedLogControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (const char c : text) {
        if (!isLogControl(c)) {
            escaped += c;
        } else if (c == '\r' || c == '\n') {
            escaped += c == '\r' ? "\\r" : "\\n";
        } else {
            const auto byte = static_cast<unsigned char>(c);
            escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
        }
    }
    return escaped;
}

// Where an address's user information ends: its authority's last '@', or
// npos when the authority at start (just after "://") has none.
inline std::size_t userInfoEnd(std::string_view text, std::size_t start) {
    const std::size_t end = text.find_first_of("/?#\\ \t\r\n\"'<>", start);
    const std::size_t at = text.substr(0, end).rfind('@');
    return at != std::string_view::npos && at >= start ? at : std::string_view::npos;
}

inline bool hasUserInfo(std::string_view text) {
    for (std::size_t found = text.find("://"); found != std::string_view::npos;
         found = text.find("://", found + 3))
        if (userInfoEnd(text, found + 3) != std::string_view::npos) return true;
    return false;
}

// The text with "user:password@" taken out of every address in it.
inline std::string withoutUserInfo(std::string_view text) {
    std::string kept;
    std::size_t from = 0;
    for (std::size_t found = text.find("://"); found != std::string_view::npos;
         found = text.find("://", found + 3)) {
        const std::size_t at = userInfoEnd(text, found + 3);
        if (at == std::string_view::npos) continue;
        kept.append(text.substr(from, found + 3 - from));
        from = at + 1;
        found = at - 2;
    }
    kept.append(text.substr(from));
    return kept;
}

inline constexpr std::size_t LongestLogMessage = 2000;

// The text cut to LongestLogMessage bytes at a UTF-8 character's start.
inline std::string cutLogMessage(std::string_view text) {
    std::size_t cut = LongestLogMessage;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "… (" + std::to_string(text.size()) + " bytes)";
}

inline void log(LogLevel level, std::string_view message,
                std::source_location where = std::source_location::current()) {
    LogSink sink = logSink();
    if (!sink) return;
    const bool plain = std::ranges::none_of(message, isLogControl);
    if (plain && message.size() <= LongestLogMessage && !hasUserInfo(message)) {
        sink({level, message, where});
        return;
    }
    std::string text = withoutUserInfo(message);
    if (text.size() > LongestLogMessage) text = cutLogMessage(text);
    if (!plain) text = escapedLogControls(text);
    sink({level, text, where});
}

inline void logDebug(std::string_view message,
                     std::source_location where = std::source_location::current()) {
    log(LogLevel::Debug, message, where);
}

inline void logInfo(std::string_view message,
                    std::source_location where = std::source_location::current()) {
    log(LogLevel::Info, message, where);
}

inline void logWarning(std::string_view message,
                       std::source_location where = std::source_location::current()) {
    log(LogLevel::Warning, message, where);
}

}  // namespace support
