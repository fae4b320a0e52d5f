#pragma once
// System services the window uses besides its views: the Flash player's
// version, the webcam check, the uncached read of an address, text files, the
// system's code page, the save dialog, the message box and the desktop's
// default handler. Every operation may throw Failure.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "support/Failure.h"

namespace platform {

// The Flash player that plays the chat's movies.
class FlashPlayerService {
public:
    virtual ~FlashPlayerService() = default;
    // The version the installed player tells its movies ("LNX 32,0,0,465";
    // it may be empty). Throws Failure when no player of major version
    // minimumMajor or later is installed, or it does not tell.
    virtual std::string installedVersion(int minimumMajor) = 0;
};

class WebcamService {
public:
    virtual ~WebcamService() = default;
    // Whether a camera that captures video is there; nothing stays open.
    // Throws Failure when the look itself fails.
    virtual bool webcamPresent() = 0;
};

// How a read of an address ended. Either part may be unavailable (Failure).
struct ReadReply {
    std::optional<bool> whole;         // the whole of a successful reply was read
    std::optional<std::string> bytes;  // its body, when whole

    bool readWhole() const {
        if (!whole) throw support::Failure("read status unavailable");
        return *whole;
    }
    const std::string& body() const {
        if (!bytes) throw support::Failure("read value unavailable");
        return *bytes;
    }
};

class AsyncReader {
public:
    virtual ~AsyncReader() = default;
    // Reads an address past every cache: starts the read and returns at
    // once; throws Failure when it cannot start. The completion runs later on
    // the user-interface thread, exactly once, unless the window has gone by
    // then.
    virtual void readUncached(const std::string& address,
                              std::function<void(const ReadReply&)> complete) = 0;
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

// A kind of file a save dialog offers: "wmv File (*.wmv)" with "*.wmv".
struct FileType {
    std::string description;
    std::vector<std::string> patterns;
};

class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // Modal: asks where to save a file of one of the types, and returns when
    // the user has closed the dialog: the chosen path exactly as chosen, or
    // empty when the user cancelled.
    virtual std::string askSavePath(const std::vector<FileType>& types) = 0;
};

// The buttons a message box offers, and the one the user pressed.
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal: shows text under title, with a warning sign when warning is set,
    // and returns the button pressed (a box closed otherwise: No, or Ok).
    virtual MessageAnswer ask(const std::string& text, MessageButtons buttons, bool warning,
                              const std::string& title) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens an address, or a file by its absolute path, with the desktop's
    // default handler for it. Throws Failure, saying why, when it cannot.
    virtual void openWithDefaultHandler(const std::string& target) = 0;
};

}  // namespace platform
