#pragma once
// How the client deals with errors. This is the one place the rule is written.
//
// A step failed: platform operations report failure by throwing
// support::Failure (an empty element reference throws it when used). The
// window's handlers run step by step through attempt(), which catches that
// type only: the failed step is skipped, the next one runs, the user sees
// nothing, and the log records it at debug level with the function and line
// of the attempt and the failure's text. A step that would have set a value
// leaves it as it was. The event queue of a backend treats a Failure that
// escapes a whole event the same way: that event is the step that is skipped.
//
// A fault: anything else that escapes a handler (a std::logic_error, a
// bad_alloc, a thrown value of any type) is a fault in the client's own code.
// attempt() lets it through; the event queue catches it, logs it as a warning
// through reportFault() and goes on with the next event, so that the program
// keeps running. A test program installs a fault hook (setFaultHook) that
// fails the running test, so that a fault never vanishes into the log there;
// where the core runs without a queue (the in-memory backend) a fault reaches
// the test framework directly.

#include <exception>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "support/Log.h"

namespace support {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// "void app::Main::Form_Load()" -> "app::Main::Form_Load";
// "app::Main::PrepareChatPage(const X&)::<lambda()>" -> "app::Main::PrepareChatPage".
inline std::string_view shortFunctionName(std::string_view name) {
    name = name.substr(0, name.find('('));
    const size_t space = name.rfind(' ');
    return space == std::string_view::npos ? name : name.substr(space + 1);
}

// "skipped a step in app::Main::Form_Load (Main.cpp:72): the window is gone"
inline void logSkippedStep(const Failure& failure, const std::source_location& where) {
    if (!logging()) return;
    std::string_view file = where.file_name();
    file = file.substr(file.find_last_of('/') + 1);
    std::string message = "skipped a step in ";
    message.append(shortFunctionName(where.function_name()));
    message.append(" (").append(file).append(":").append(std::to_string(where.line()));
    message.append("): ").append(failure.what());
    log(LogLevel::Debug, message, where);
}

// Runs one step. Returns false when the step failed and was skipped.
template <class Step>
bool attempt(Step&& step, std::source_location where = std::source_location::current()) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const Failure& failure) {
        logSkippedStep(failure, where);
        return false;
    }
}

// Runs one step; when it fails, keeps the failure's text in why.
template <class Step>
bool attempt(Step&& step, std::string& why,
             std::source_location where = std::source_location::current()) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const Failure& failure) {
        why = failure.what();
        logSkippedStep(failure, where);
        return false;
    }
}

// Evaluates one value-producing step; on failure the target keeps its value.
template <class T, class Step>
bool attemptAssign(T& target, Step&& step,
                   std::source_location where = std::source_location::current()) {
    try {
        target = std::forward<Step>(step)();
        return true;
    } catch (const Failure& failure) {
        logSkippedStep(failure, where);
        return false;
    }
}

// Called with the description of every fault that reportFault() is given.
// Set once, before any handler runs; null (the default) in the programs.
using FaultHook = void (*)(std::string_view what);

inline FaultHook& faultHook() {
    static FaultHook hook = nullptr;
    return hook;
}

// Returns the hook that was set before.
inline FaultHook setFaultHook(FaultHook hook) { return std::exchange(faultHook(), hook); }

// The text of the exception being handled; call it inside a catch block only.
inline std::string currentExceptionText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an exception that is not a std::exception";
    }
}

// Logs a fault as a warning and hands it to the fault hook, if one is set.
inline void reportFault(std::string_view what,
                        std::source_location where = std::source_location::current()) {
    log(LogLevel::Warning, std::string("a fault in the client's own code: ").append(what), where);
    if (FaultHook hook = faultHook()) hook(what);
}

}  // namespace support
