#pragma once
// The XDG base directory variables hold absolute paths only: a relative one
// is invalid and ignored, so that a program started from another folder finds
// the same data. The program drops such values from its environment before
// anything reads them, GLib and the web processes included.

#include <string>
#include <vector>

namespace desktop {

// The value to keep for an XDG variable: the value itself when absolute, ""
// (unset) when relative; a list variable (XDG_DATA_DIRS, XDG_CONFIG_DIRS)
// keeps its absolute entries.
std::string absoluteXdgValue(const std::string& name, const std::string& value);

// Applies absoluteXdgValue to every XDG base directory variable of the
// environment; returns one line per variable changed, for the log. Runs
// before any thread starts and before GLib caches the folders.
std::vector<std::string> dropRelativeXdgFolders();

}  // namespace desktop
