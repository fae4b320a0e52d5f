#pragma once
// Serves the application's HTML folder read-only on a custom URI scheme, so
// that pages loaded over http can display the client's local images (file://
// images never display in an http page), and the bundled Flash player.

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

namespace gtkui {

// Resolves the escaped path of a scheme request inside root. Returns the file
// to serve, or nothing when the path is malformed, leaves root (through "..",
// an escaped separator or a symbolic link) or names no regular file.
std::optional<std::string> resolveResource(const std::string& root, const std::string& escapedPath);

// Paths under this prefix name files of the bundled Flash player folder
// ("whirligig-res:///flashplayer/ruffle.js"); every other path names a file
// of the HTML folder. The player's files are served to any origin (CORS).
inline constexpr const char* PlayerPathPrefix = "/flashplayer/";

// The type a resource is served as when its name decides it ("x.wasm",
// "x.js"); empty when the contents must be sniffed.
std::string resourceMimeType(const std::string& file);

// Registers the scheme on the context (once, before any view loads), as a
// secure scheme so that https pages show no mixed-content warnings.
void registerResourceScheme(WebKitWebContext* context, const std::string& htmlRoot,
                            const std::string& playerRoot);

}  // namespace gtkui
