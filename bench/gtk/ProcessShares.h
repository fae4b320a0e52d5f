#pragma once
// CPU and memory of process trees read from /proc: each process's share of
// one core over a quiet wait of the main loop, and proportional set sizes.

#include <set>
#include <string>
#include <vector>

namespace bench {

// A process (or thread) and its share of one core in %.
struct Share {
    int id = 0;
    std::string name;
    double percent = 0;
};

struct TreeShares {
    std::vector<Share> processes;  // the root first
    std::vector<Share> rootThreads;
    double total = 0;
};

// root and its descendants, without the subtrees of the processes in `leave`.
std::set<int> processTree(int root, const std::set<int>& leave = {});

// Runs the main loop for the time given with no source of the benchmark's own
// but the one that ends the wait, so that the waiting process costs nothing.
void quietWait(unsigned milliseconds);

// CPU of each process of the tree (and each thread of its root) over a quiet
// wait, the processes ordered by share after the root.
TreeShares treeShares(int root, unsigned seconds, const std::set<int>& leave = {});

// PSS of the processes, in MiB.
double pssMiB(const std::set<int>& processes);
// "name 120, name 80, ..." (MiB) of each process.
std::string listPss(const std::set<int>& processes);

// "name 12.3, name 0.4, ..." of the shares above `least` percent.
std::string listShares(const std::vector<Share>& shares, double least = 0.05);

}  // namespace bench
