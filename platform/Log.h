#pragma once
// The program's log, as the portable code sees it. The desktop backend
// installs a sink that writes to GLib's structured log; without a sink
// (unit tests, a backend that keeps no log) nothing is written.
//
// Levels: Debug for steps that failed and were skipped, Info for what the
// program does (the update check, navigations of the chat view, recording),
// Warning for problems a user or an administrator should see.

#include <source_location>
#include <string_view>

namespace platform {

enum class LogLevel { Debug, Info, Warning };

struct LogRecord {
    LogLevel level;
    std::string_view message;
    std::source_location where;
};

using LogSink = void (*)(const LogRecord& record);

// The sink is set once at start-up, before any handler runs, and read from the
// user-interface thread only.
inline LogSink& logSink() {
    static LogSink sink = nullptr;
    return sink;
}

inline void setLogSink(LogSink sink) { logSink() = sink; }

inline bool logging() { return logSink() != nullptr; }

inline void log(LogLevel level, std::string_view message,
                std::source_location where = std::source_location::current()) {
    if (LogSink sink = logSink()) sink({level, message, where});
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
