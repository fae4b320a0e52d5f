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

// The needed elements GStreamer does not find (initialising it first); all
// of them when GStreamer cannot be initialised.
std::vector<MediaElement> missingMediaElements();

// One log line for the result: a warning that names each missing element,
// what it is for and its package; else an info line that all are there.
std::string describeMissing(const std::vector<MediaElement>& missing);

// Looks on a thread of its own (reading GStreamer's registry may take a
// second the first time) and logs the result; returns at once.
void logMissingMediaElementsSoon();

}  // namespace desktop
