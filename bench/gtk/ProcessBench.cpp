// Whole-process figures: start-up to the start page's completion and the
// memory (PSS) of the program with its WebKit processes once the chat page is
// prepared, each against the minimal WebKitGTK program doing the same load.
// Runs the demo site on a free port; the client is the demo program's
// composition that prints when the start page has loaded (StartupClient).

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "demo/SiteServer.h"

namespace {

bool waitFor(const std::function<bool()>& condition, unsigned limitMs = 60000) {
    gint64 end = g_get_monotonic_time() + gint64{limitMs} * 1000;
    guint tick = g_timeout_add(
        1, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    bool met = condition();
    while (!met && g_get_monotonic_time() < end) {
        g_main_context_iteration(nullptr, TRUE);
        met = condition();
    }
    g_source_remove(tick);
    return met;
}

struct Child {
    GPid pid = 0;
    int out = -1;
    std::string line;

    // Reads what the child printed so far (non-blocking).
    bool readLine() {
        char buffer[256];
        ssize_t n = read(out, buffer, sizeof buffer);
        if (n > 0) line.append(buffer, n);
        return line.find('\n') != std::string::npos;
    }
    void stop() {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        if (out >= 0) close(out);
    }
};

Child spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Child child;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &child.pid, nullptr, &child.out, nullptr, &error)) {
        std::fprintf(stderr, "cannot start %s: %s\n", args[0].c_str(), error->message);
        std::exit(1);
    }
    g_unix_set_fd_nonblocking(child.out, TRUE, nullptr);
    return child;
}

// PSS in kB of a process and all its descendants.
long treePss(GPid root) {
    std::set<int> tree{root};
    bool grew = true;
    while (grew) {
        grew = false;
        GDir* proc = g_dir_open("/proc", 0, nullptr);
        while (const char* name = g_dir_read_name(proc)) {
            int pid = std::atoi(name);
            if (pid <= 0 || tree.count(pid)) continue;
            std::ifstream stat("/proc/" + std::string(name) + "/stat");
            std::string content((std::istreambuf_iterator<char>(stat)), {});
            size_t close = content.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(content.substr(close + 2));
            std::string state;
            int ppid = 0;
            rest >> state >> ppid;
            if (tree.count(ppid)) {
                tree.insert(pid);
                grew = true;
            }
        }
        g_dir_close(proc);
    }
    long total = 0;
    for (int pid : tree) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(rollup, line))
            if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    }
    return total;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void settle(unsigned ms) {
    waitFor([] { return false; }, ms);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    const std::string folder = WHIRLIGIG_APP_FOLDER;
    const std::string startPage = "file://" + folder + "/HTML/Dialog.html";
    site::SiteServer site;
    const std::string siteBase = "http://127.0.0.1:" + std::to_string(site.port());
    site.setLogging(false);

    // An argument names another build's client to measure (a before and after).
    const std::string client = argc > 1 ? argv[1] : STARTUP_CLIENT;
    std::vector<double> clientTimes, minimalTimes;
    // The client's steps (name=time after its first figure), in the order it took them.
    std::vector<std::string> stepNames;
    std::map<std::string, std::vector<double>> stepTimes;
    for (int round = 0; round < 5; ++round) {
        gint64 start = g_get_monotonic_time();
        Child c = spawn({client, siteBase});
        waitFor([&] { return c.readLine(); });
        clientTimes.push_back((std::atoll(c.line.c_str()) - start) / 1000.0);
        std::istringstream fields(c.line.substr(0, c.line.find('\n')));
        std::string field;
        fields >> field;
        while (fields >> field) {
            const size_t eq = field.find('=');
            if (eq == std::string::npos) continue;
            const std::string name = field.substr(0, eq);
            if (!stepTimes.count(name)) stepNames.push_back(name);
            stepTimes[name].push_back((std::atoll(field.c_str() + eq + 1) - start) / 1000.0);
        }
        c.stop();

        start = g_get_monotonic_time();
        Child m = spawn({MINIMAL_BROWSER, startPage});
        waitFor([&] { return m.readLine(); });
        minimalTimes.push_back((std::atoll(m.line.c_str()) - start) / 1000.0);
        m.stop();
    }
    for (size_t k = 0; k < clientTimes.size(); ++k)
        std::printf("  round %zu: client %.0f ms, minimal %.0f ms\n", k + 1, clientTimes[k],
                    minimalTimes[k]);
    double c = median(clientTimes), m = median(minimalTimes);
    std::printf("  the client's steps from its start (medians of 5):");
    double previous = 0;
    for (const std::string& name : stepNames) {
        const double at = median(stepTimes[name]);
        std::printf(" %s %.0f (+%.0f),", name.c_str(), at, at - previous);
        previous = at;
    }
    std::printf(" start page finished %.0f (+%.0f) ms\n", c, c - previous);
    std::printf(
        "Start-up to the start page's completion: client %.0f ms, minimal WebKitGTK "
        "program %.0f ms, ratio %.2f (target <= 1.10; medians of 5)\n",
        c, m, c / m);

    // Memory with the chat page prepared, against the minimal program showing
    // that page: the client as installed, then without its Flash player (the
    // minimal program plays no movie).
    g_autofree gchar* bare = g_dir_make_tmp("whirligig-bench-XXXXXX", nullptr);
    for (const char* entry : {"HTML", "icons"}) {
        const std::string from = folder + "/" + entry, to = std::string(bare) + "/" + entry;
        if (symlink(from.c_str(), to.c_str()) != 0) std::perror(to.c_str());
    }
    long clientPss[2] = {0, 0};
    for (int withPlayer : {1, 0}) {
        int visits = site.statisticsVisits();
        Child full = withPlayer ? spawn({STARTUP_CLIENT, siteBase})
                                : spawn({STARTUP_CLIENT, siteBase, std::string(bare)});
        waitFor([&] { return site.statisticsVisits() > visits; });
        settle(3000);
        clientPss[withPlayer] = treePss(full.pid);
        full.stop();
    }
    for (const char* entry : {"HTML", "icons"}) unlink((std::string(bare) + "/" + entry).c_str());
    rmdir(bare);
    Child minimal = spawn({MINIMAL_BROWSER, site.address("/")});
    waitFor([&] { return minimal.readLine(); });
    settle(3000);
    long minimalPss = treePss(minimal.pid);
    minimal.stop();
    for (int withPlayer : {1, 0})
        std::printf(
            "PSS with the chat page prepared (program + WebKit processes), %s: client %.1f MiB, "
            "minimal program %.1f MiB, ratio %.2f (target <= 1.3)\n",
            withPlayer ? "Flash player playing" : "without the Flash player",
            clientPss[withPlayer] / 1024.0, minimalPss / 1024.0,
            static_cast<double>(clientPss[withPlayer]) / minimalPss);
    return 0;
}
