#pragma once
// Generated chat-like pages of a given size and the client's page work done
// as one script inside the page, for comparing with the bridge.

#include <string>
#include <vector>

namespace bench {

// A chat site page with about `elements` elements: site style sheets, an
// OBJECT with PARAMs, themed DIVs and SPANs, an iframe.
std::string chatPage(int elements);

// The preparation's DOM work as one script, using the client's files from
// htmlFolder and the image addresses of the resource scheme.
std::string preparationScript(const std::string& htmlFolder);

// Median and 99th percentile of samples (milliseconds).
struct Figures {
    double median = 0, p99 = 0, max = 0;
};
Figures figures(std::vector<double> samples);

}  // namespace bench
