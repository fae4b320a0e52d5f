#pragma once
// System services the window uses besides its views: scriptable objects by
// ProgID, the video-capture drivers, the asynchronous read of an
// address, text files, the system's code page, the save dialog, the message
// box and the shell. Every operation may throw Failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "support/Failure.h"
#include "platform/Window.h"

namespace platform {

// An automation object created by its ProgID.
class ScriptableObject {
public:
    virtual ~ScriptableObject() = default;
    virtual std::string GetVariable(const std::string& name) = 0;
};

class ObjectFactory {
public:
    virtual ~ObjectFactory() = default;
    // Throws Failure when no object of that ProgID can be created.
    virtual std::shared_ptr<ScriptableObject> CreateObject(const std::string& progId) = 0;
};

// The video-capture drivers (index 0 to 9), tried through a probe that
// connects to one driver at a time.
class CaptureService {
public:
    virtual ~CaptureService() = default;
    // Returns a new probe, or 0 when none can be opened.
    virtual WindowHandle openProbe() = 0;
    // Connects the probe to a driver, dropping its earlier connection; true
    // when that driver is there and captures video.
    virtual bool connectDriver(WindowHandle probe, int driver) = 0;
    // Drops the probe's connection, if it has one.
    virtual void disconnectDriver(WindowHandle probe) = 0;
    virtual void closeProbe(WindowHandle probe) = 0;
};

// The status of a read that ended with the whole reply.
constexpr int vbAsyncStatusCodeEndDownloadData = 6;

// A finished asynchronous read. Either part may be unavailable (Failure).
struct AsyncProperty {
    std::string PropertyName;
    std::optional<int> status;
    std::optional<std::string> bytes;

    int StatusCode() const {
        if (!status) throw Failure("read status unavailable");
        return *status;
    }
    const std::string& Value() const {
        if (!bytes) throw Failure("read value unavailable");
        return *bytes;
    }
};

class AsyncReader {
public:
    virtual ~AsyncReader() = default;
    // Starts a read and returns at once; throws Failure when it cannot start.
    // The completion runs later on the user-interface thread, exactly once,
    // unless the window has gone by then. A read always fetches the reply's
    // bytes, never from a cache; asyncType and options are the caller's own
    // codes, passed through (the in-memory backend records them).
    virtual void AsyncRead(const std::string& target, int asyncType, const std::string& propertyName,
                           int options, std::function<void(const AsyncProperty&)> complete) = 0;
};

// Conversion from the system's code page to the client's UTF-8 text.
class CodePage {
public:
    virtual ~CodePage() = default;
    virtual std::string toText(const std::string& bytes) = 0;
};

class TextStream {
public:
    virtual ~TextStream() = default;
    virtual bool AtEndOfStream() = 0;
    // The next line, without its terminator, decoded from the system's code page.
    virtual std::string ReadLine() = 0;
    virtual void Close() = 0;
};

class TextFiles {
public:
    virtual ~TextFiles() = default;
    // Opens an existing file read-only; throws Failure when it cannot.
    virtual std::unique_ptr<TextStream> OpenTextFile(const std::string& path) = 0;
};

class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    virtual void setFilter(const std::string& filter) = 0;
    // Modal: returns when the user has closed the dialog.
    virtual void ShowSave() = 0;
    // The chosen path, or empty when the user cancelled.
    virtual std::string FileName() = 0;
};

constexpr std::uint32_t MB_OK = 0;
constexpr std::uint32_t MB_YESNO = 4;
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal; returns the button pressed.
    virtual int MsgBox(const std::string& prompt, std::uint32_t buttons, const std::string& title) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens an address, or a file (a relative path is taken from directory),
    // with the desktop's default handler for it. Throws Failure, saying why,
    // when it cannot.
    virtual void openWithDefaultHandler(const std::string& target,
                                        const std::string& directory) = 0;
};

}  // namespace platform
