#pragma once
// The program's log through GLib's structured logging, in its own log domain.
// Debug and info records are shown when G_MESSAGES_DEBUG names the domain (or
// is "all"), or after enableVerboseLog(); warnings always.

namespace desktop {

inline constexpr const char* LogDomain = "whirligigcam";

// Sends support::log records to GLib. Call once, before the window exists.
void installGLibLogSink();

// Shows this domain's debug and info records on the standard error stream, as
// G_MESSAGES_DEBUG=whirligigcam would. Call before any other thread starts: it
// sets the variable in the process environment.
void enableVerboseLog();

}  // namespace desktop
