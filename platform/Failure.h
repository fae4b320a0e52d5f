#pragma once
// Failures of platform operations and the skip-one-step mechanism.
//
// Every platform operation reports failure by throwing platform::Failure. The
// window's handlers run step by step through attempt(): a step that fails is
// skipped and the next one runs. Nothing else is caught, so a broken invariant
// in the client's own code still surfaces (and fails the tests).

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// Runs one step. Returns false when the step failed and was skipped.
template <class Step>
bool attempt(Step&& step) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const Failure&) {
        return false;
    }
}

// Runs one step; when it fails, keeps the failure's text in why.
template <class Step>
bool attempt(Step&& step, std::string& why) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const Failure& failure) {
        why = failure.what();
        return false;
    }
}

// Evaluates one value-producing step; on failure the target keeps its value.
template <class T, class Step>
bool attemptAssign(T& target, Step&& step) {
    try {
        target = std::forward<Step>(step)();
        return true;
    } catch (const Failure&) {
        return false;
    }
}

}  // namespace platform
