#include "platform/recorder/PrivateDisplay.h"

#include <mutex>
#include <unordered_map>

#include "platform/Failure.h"

// Last: it defines min and max as macros. It declares the error hook
// (XESetError) and the error record it receives.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace recorder {
namespace {

// Errors per private connection. Xlib calls the extension error hooks of a
// connection before the process-wide handler, and a hook that returns nonzero
// consumes the error; the hook receives only the Display, hence the table.
// Recursive: closing a connection may report an error while the table is held.
std::recursive_mutex tableMutex;
std::unordered_map<Display*, bool> errorTable;

int recordError(Display* display, xError*, XExtCodes*, int* result) {
    std::lock_guard lock(tableMutex);
    auto found = errorTable.find(display);
    if (found == errorTable.end()) return 0;  // not ours: let Xlib report it
    found->second = true;
    *result = 0;
    return 1;
}

// A lost connection (the X server gone) must not end the process from the
// capture thread, as Xlib's default does: returning here leaves the failing
// call to fail, so the recording ends by itself and its file is finished.
void keepRunningWhenLost(Display*, void*) {}

}  // namespace

PrivateDisplay::PrivateDisplay(const std::string& name) {
    display_ = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display_) throw platform::Failure("cannot open the X display");
    XExtCodes* codes = XAddExtension(display_);
    if (!codes) {
        XCloseDisplay(display_);
        throw platform::Failure("cannot hook X errors");
    }
    {
        std::lock_guard lock(tableMutex);
        errorTable[display_] = false;
    }
    XESetError(display_, codes->extension, recordError);
    XSetIOErrorExitHandler(display_, keepRunningWhenLost, nullptr);
}

PrivateDisplay::~PrivateDisplay() {
    // Held across the close, so that a connection opened meanwhile at the same
    // address does not lose its entry.
    std::lock_guard lock(tableMutex);
    XCloseDisplay(display_);
    errorTable.erase(display_);
}

bool PrivateDisplay::syncAndTakeError() {
    XSync(display_, False);
    return takeError();
}

bool PrivateDisplay::takeError() {
    std::lock_guard lock(tableMutex);
    bool& failed = errorTable[display_];
    const bool result = failed;
    failed = false;
    return result;
}

}  // namespace recorder
