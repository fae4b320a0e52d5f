#include "platform/gtk/StepTrace.h"

namespace gtkui {

namespace {
std::vector<TracedStep>* tracing = nullptr;
}

void traceSteps(std::vector<TracedStep>* trace) { tracing = trace; }

TimedStep::TimedStep(const char* what) : what_(what), timed_(tracing != nullptr) {
    if (timed_) began_ = std::chrono::steady_clock::now();
}

TimedStep::~TimedStep() {
    if (!timed_ || !tracing) return;
    const auto now = std::chrono::steady_clock::now();
    tracing->push_back(
        {what_, began_, std::chrono::duration<double, std::milli>(now - began_).count()});
}

}  // namespace gtkui
