#pragma once
// The desktop programs as GTK applications: one instance per application id
// (a second start brings the running window to the front and exits), the
// command line (--help, --version, --verbose), the log, the settings files,
// then the host and the window.

namespace gtkui {

struct ProgramInfo {
    const char* applicationId;
    const char* name;  // as --version shows it
    // The demo build answers the webcam check with a simulated webcam.
    bool simulateDevices;
};

// Runs the program; returns its exit status.
int runDesktopProgram(int argc, char** argv, const ProgramInfo& info);

}  // namespace gtkui
