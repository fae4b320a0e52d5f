#include "platform/desktop/GLibLog.h"

#include <glib.h>

#include <string>

#include "support/Log.h"

namespace desktop {

namespace {

void writeToGLib(const support::LogRecord& record) {
    GLogLevelFlags level = G_LOG_LEVEL_DEBUG;
    const char* priority = "7";  // syslog's numbers, as journald expects them
    switch (record.level) {
        case support::LogLevel::Debug:
            break;
        case support::LogLevel::Info:
            level = G_LOG_LEVEL_INFO;
            priority = "6";
            break;
        case support::LogLevel::Warning:
            level = G_LOG_LEVEL_WARNING;
            priority = "4";
            break;
    }
    // GLib's writers take the message as a nul-terminated text.
    const std::string message(record.message);
    const std::string line = std::to_string(record.where.line());
    const GLogField fields[] = {
        {"GLIB_DOMAIN", LogDomain, -1},   {"PRIORITY", priority, -1},
        {"MESSAGE", message.c_str(), -1}, {"CODE_FILE", record.where.file_name(), -1},
        {"CODE_LINE", line.c_str(), -1},  {"CODE_FUNC", record.where.function_name(), -1},
    };
    g_log_structured_array(level, fields, G_N_ELEMENTS(fields));
}

}  // namespace

void installGLibLogSink() { support::setLogSink(writeToGLib); }

void enableVerboseLog() {
    // GLib's default writer reads G_MESSAGES_DEBUG each time it decides.
    const char* current = g_getenv("G_MESSAGES_DEBUG");
    std::string domains = current ? current : "";
    if (domains == "all") return;
    if (!domains.empty()) domains += " ";
    domains += LogDomain;
    g_setenv("G_MESSAGES_DEBUG", domains.c_str(), TRUE);
}

}  // namespace desktop
