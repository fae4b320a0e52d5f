#pragma once
// Failures of platform operations and the skip-one-step mechanism.
//
// Every platform operation reports failure by throwing platform::Failure. The
// window's handlers run step by step through attempt(): a step that fails is
// skipped and the next one runs. Nothing else is caught, so a broken invariant
// in the client's own code still surfaces (and fails the tests).
//
// A skipped step is written to the log at debug level, with the function and
// line of the attempt and the failure's text.

#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Log.h"

namespace platform {

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

}  // namespace platform
