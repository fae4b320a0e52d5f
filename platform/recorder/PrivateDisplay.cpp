#include "platform/recorder/PrivateDisplay.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "support/Failure.h"

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
// Each entry carries the number of the connection that made it, so that a
// connection closing never removes the entry of a later one at the same address.
struct Entry {
    std::uint64_t owner;
    bool failed;
};
std::mutex tableMutex;
std::unordered_map<Display*, Entry> errorTable;
std::uint64_t lastOwner = 0;

int recordError(Display* display, xError*, XExtCodes*, int* result) {
    std::lock_guard lock(tableMutex);
    auto found = errorTable.find(display);
    if (found == errorTable.end()) return 0;  // not ours: let Xlib report it
    found->second.failed = true;
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
    if (!display_) throw support::Failure("cannot open the X display");
    XExtCodes* codes = XAddExtension(display_);
    if (!codes) {
        XCloseDisplay(display_);
        throw support::Failure("cannot hook X errors");
    }
    {
        std::lock_guard lock(tableMutex);
        owner_ = ++lastOwner;
        errorTable[display_] = {owner_, false};
    }
    XESetError(display_, codes->extension, recordError);
    XSetIOErrorExitHandler(display_, keepRunningWhenLost, nullptr);
}

PrivateDisplay::~PrivateDisplay() {
    // Closed without the table's lock: XCloseDisplay waits for the server's
    // answer, which a busy or grabbed server can hold back for long while every
    // other connection's error hook and takeError would wait on the lock; and
    // it reports the errors of its last requests through recordError, which
    // takes the lock itself. The entry stays until the close is done, so those
    // errors are still consumed here instead of ending the process.
    XCloseDisplay(display_);
    std::lock_guard lock(tableMutex);
    auto found = errorTable.find(display_);
    if (found != errorTable.end() && found->second.owner == owner_) errorTable.erase(found);
}

bool PrivateDisplay::syncAndTakeError() {
    XSync(display_, False);
    return takeError();
}

bool PrivateDisplay::takeError() {
    std::lock_guard lock(tableMutex);
    bool& failed = errorTable[display_].failed;
    const bool result = failed;
    failed = false;
    return result;
}

}  // namespace recorder
