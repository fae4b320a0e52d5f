#include "ProcessShares.h"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace bench {
namespace {

struct Stat {
    std::string name;
    int parent = 0;
    long ticks = -1;  // user and system time; -1: gone
};

// /proc/.../stat: "pid (name) state ppid ... utime stime ...".
Stat readStat(const std::string& path) {
    std::ifstream file(path);
    std::string content((std::istreambuf_iterator<char>(file)), {});
    Stat s;
    const size_t open = content.find('('), close = content.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return s;
    s.name = content.substr(open + 1, close - open - 1);
    std::istringstream rest(content.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 4) s.parent = std::atoi(field.c_str());
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    s.ticks = utime + stime;
    return s;
}

std::vector<int> numbersIn(const std::string& folder) {
    std::vector<int> found;
    if (GDir* dir = g_dir_open(folder.c_str(), 0, nullptr)) {
        while (const char* name = g_dir_read_name(dir))
            if (int n = std::atoi(name); n > 0) found.push_back(n);
        g_dir_close(dir);
    }
    return found;
}

std::map<int, Stat> snapshot(const std::string& folder, const std::set<int>& ids) {
    std::map<int, Stat> stats;
    for (int id : ids) stats[id] = readStat(folder + std::to_string(id) + "/stat");
    return stats;
}

std::vector<Share> shares(const std::map<int, Stat>& before, const std::map<int, Stat>& after,
                          double seconds) {
    std::vector<Share> result;
    for (const auto& [id, end] : after) {
        auto start = before.find(id);
        if (start == before.end() || start->second.ticks < 0 || end.ticks < 0) continue;
        result.push_back(
            {id, end.name,
             100.0 * (end.ticks - start->second.ticks) / sysconf(_SC_CLK_TCK) / seconds});
    }
    return result;
}

bool bigger(const Share& a, const Share& b) { return a.percent > b.percent; }

}  // namespace

std::set<int> processTree(int root, const std::set<int>& leave) {
    std::map<int, int> parents;
    for (int pid : numbersIn("/proc"))
        parents[pid] = readStat("/proc/" + std::to_string(pid) + "/stat").parent;
    std::set<int> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parents)
            if (!tree.count(pid) && !leave.count(pid) && tree.count(parent))
                grew = tree.insert(pid).second;
    }
    return tree;
}

void quietWait(unsigned milliseconds) {
    bool over = false;
    g_timeout_add(
        milliseconds,
        [](gpointer o) -> gboolean {
            *static_cast<bool*>(o) = true;
            return G_SOURCE_REMOVE;
        },
        &over);
    while (!over) g_main_context_iteration(nullptr, TRUE);
}

TreeShares treeShares(int root, unsigned seconds, const std::set<int>& leave) {
    const std::set<int> tree = processTree(root, leave);
    const std::string threads = "/proc/" + std::to_string(root) + "/task/";
    const std::vector<int> threadIds = numbersIn(threads);
    const std::set<int> threadSet(threadIds.begin(), threadIds.end());
    const auto processesBefore = snapshot("/proc/", tree);
    const auto threadsBefore = snapshot(threads, threadSet);
    const gint64 from = g_get_monotonic_time();
    quietWait(seconds * 1000);
    const double elapsed = (g_get_monotonic_time() - from) / 1e6;
    TreeShares t;
    t.processes = shares(processesBefore, snapshot("/proc/", tree), elapsed);
    t.rootThreads = shares(threadsBefore, snapshot(threads, threadSet), elapsed);
    std::stable_sort(t.processes.begin(), t.processes.end(),
                     [root](const Share& a, const Share& b) {
                         return a.id == root || (b.id != root && bigger(a, b));
                     });
    std::stable_sort(t.rootThreads.begin(), t.rootThreads.end(), bigger);
    for (const Share& s : t.processes) t.total += s.percent;
    return t;
}

double pssMiB(const std::set<int>& processes) {
    long total = 0;
    for (int pid : processes) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(rollup, line))
            if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    }
    return total / 1024.0;
}

std::string listPss(const std::set<int>& processes) {
    std::string text;
    char buffer[64];
    for (int pid : processes) {
        const Stat s = readStat("/proc/" + std::to_string(pid) + "/stat");
        std::snprintf(buffer, sizeof buffer, "%s%s %.0f", text.empty() ? "" : ", ", s.name.c_str(),
                      pssMiB({pid}));
        text += buffer;
    }
    return text;
}

std::string listShares(const std::vector<Share>& shares, double least) {
    std::string text;
    char buffer[64];
    for (const Share& s : shares) {
        if (s.percent < least) continue;
        std::snprintf(buffer, sizeof buffer, "%s%s %.1f", text.empty() ? "" : ", ", s.name.c_str(),
                      s.percent);
        text += buffer;
    }
    return text.empty() ? "-" : text;
}

}  // namespace bench
