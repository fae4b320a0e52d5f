#pragma once
// Steps of the window's thread that a benchmark looks at: while a trace is
// set, each timed step is added to it with when it began and how long it
// took. Without a trace a timed step costs one pointer test.

#include <chrono>
#include <string>
#include <vector>

namespace gtkui {

struct TracedStep {
    std::string what;
    std::chrono::steady_clock::time_point began;
    double ms = 0;
};

void traceSteps(std::vector<TracedStep>* trace);

// Times the scope it lives in, on the window's thread.
class TimedStep {
public:
    explicit TimedStep(const char* what);
    ~TimedStep();
    TimedStep(const TimedStep&) = delete;
    TimedStep& operator=(const TimedStep&) = delete;

private:
    const char* what_;
    bool timed_;
    std::chrono::steady_clock::time_point began_;
};

}  // namespace gtkui
