#pragma once
// Reads a whole text file in the system's code page, with every line break
// removed (the lines are joined with nothing between them).

#include <string>

#include "platform/Services.h"

namespace chatpage {

// Failures to open or read reach the caller.
std::string ReadTextFile(platform::TextFiles& files, const std::string& path);

}  // namespace chatpage
