#pragma once
// Serves the application's HTML folder read-only on a custom URI scheme, so
// that pages loaded over http can display the client's local images (file://
// images never display in an http page).

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

namespace gtkui {

// Resolves the escaped path of a scheme request inside root. Returns the file
// to serve, or nothing when the path is malformed, leaves root (through "..",
// an escaped separator or a symbolic link) or names no regular file.
std::optional<std::string> resolveResource(const std::string& root, const std::string& escapedPath);

// Registers the scheme on the context (once, before any view loads), as a
// secure scheme so that https pages show no mixed-content warnings.
void registerResourceScheme(WebKitWebContext* context, const std::string& htmlRoot);

}  // namespace gtkui
