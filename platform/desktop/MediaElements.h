#pragma once
// The GStreamer elements the chat's camera, microphone and sound need at run
// time. WebKit loads them as plugins, which no binary links to, so nothing
// but a look at GStreamer's registry tells whether they are installed.

#include <string>
#include <vector>

namespace desktop {

struct MediaElement {
    const char* name;     // the element's factory name
    const char* use;      // what the chat loses without it
    const char* package;  // the Debian package that has it
};

// Every element looked for, in the order they are reported.
const std::vector<MediaElement>& neededMediaElements();

// The needed elements named in a look's output (one factory name a line).
std::vector<MediaElement> missingAmong(const std::string& namesNotFound);

// One log line for the result: a warning that names each missing element,
// what it is for and its package; else an info line that all are there.
std::string describeMissing(const std::vector<MediaElement>& missing);

// Asks helper (the call helper, which has GStreamer) which of the needed
// elements are missing, and logs the result when it answers; returns at once.
void logMissingMediaElementsSoon(const std::string& helper);

}  // namespace desktop
