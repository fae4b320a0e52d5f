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
// terminal.

#include <algorithm>
#include <source_location>
#include <string>
#include <string_view>

namespace platform {

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

inline void log(LogLevel level, std::string_view message,
                std::source_location where = std::source_location::current()) {
    LogSink sink = logSink();
    if (!sink) return;
    if (std::ranges::none_of(message, isLogControl)) {
        sink({level, message, where});
    } else {
        const std::string escaped = escapedLogControls(message);
        sink({level, escaped, where});
    }
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

}  // namespace platform
