// The bundled Flash player in the chat view, against the demo site's movie,
// each row a median of rounds (5 by default) beside its target:
// - the time from the chat page's completion to the movie's first frame (its
//   first frame calls the page);
// - CPU of the web processes while the movie plays (from half a minute after
//   the page's completion on, when the page itself is idle), while the window
//   is minimised, and while the start view covers the chat view;
// - memory (PSS) of the whole program with its WebKit processes, the chat page
//   prepared and the movie playing, against the minimal WebKitGTK program
//   showing the same page, both measured in each round.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm
//       build/bench/gtk/gtk_flash_bench [rounds]       (one command line)

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"

using guitest::Harness;
using guitest::pageEval;
using guitest::waitFor;

namespace {

int parentOf(int pid, std::string* name = nullptr) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), {});
    const size_t open = content.find('('), close = content.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return 0;
    if (name) *name = content.substr(open + 1, close - open - 1);
    std::istringstream rest(content.substr(close + 2));
    std::string state;
    int ppid = 0;
    rest >> state >> ppid;
    return ppid;
}

std::vector<int> allProcesses() {
    std::vector<int> found;
    GDir* proc = g_dir_open("/proc", 0, nullptr);
    while (const char* name = g_dir_read_name(proc))
        if (int pid = std::atoi(name); pid > 0) found.push_back(pid);
    g_dir_close(proc);
    return found;
}

// The web processes started by this program.
std::vector<int> webProcesses() {
    std::vector<int> found;
    for (int pid : allProcesses()) {
        std::string name;
        if (parentOf(pid, &name) == getpid() && name == "WebKitWebProces") found.push_back(pid);
    }
    return found;
}

// User and system time of a process, in clock ticks.
long cpuTicks(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream rest(content.substr(content.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15; ++i) {
        rest >> field;
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime + stime;
}

// CPU of the web processes over the next seconds, in % of one core.
double webCpu(unsigned seconds) {
    const std::vector<int> processes = webProcesses();
    long before = 0, after = 0;
    for (int pid : processes) before += cpuTicks(pid);
    const gint64 from = g_get_monotonic_time();
    waitFor([] { return false; }, seconds * 1000);
    for (int pid : processes) after += cpuTicks(pid);
    return 100.0 * (after - before) / sysconf(_SC_CLK_TCK) /
           ((g_get_monotonic_time() - from) / 1e6);
}

// PSS in kB of a process and all its descendants.
long treePss(int root) {
    std::set<int> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (int pid : allProcesses())
            if (!tree.count(pid) && tree.count(parentOf(pid))) grew = tree.insert(pid).second;
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

// A program of the benchmark's own, its first line of output awaited.
struct Child {
    GPid pid = 0;
    int out = -1;
    std::string line;
    bool readLine() {
        char buffer[256];
        const ssize_t n = read(out, buffer, sizeof buffer);
        if (n > 0) line.append(buffer, n);
        return line.find('\n') != std::string::npos;
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (out >= 0) close(out);
    }
};

std::unique_ptr<Child> spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto child = std::make_unique<Child>();
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &child->pid, nullptr, &child->out, nullptr, &error)) {
        std::fprintf(stderr, "cannot start %s: %s\n", args[0].c_str(), error->message);
        std::exit(1);
    }
    g_unix_set_fd_nonblocking(child->out, TRUE, nullptr);
    return child;
}

// Whole-program PSS (MiB): the client with the chat page prepared and the
// movie playing, then the minimal program showing the chat page.
std::pair<double, double> pssRound(site::SiteServer& site) {
    const int visits = site.statisticsVisits();
    double client = -1, minimal = -1;
    {
        auto c = spawn({STARTUP_CLIENT, "http://127.0.0.1:" + std::to_string(site.port())});
        if (waitFor([&] { return site.statisticsVisits() > visits; }, 60000)) {
            waitFor([] { return false; }, 3000);
            client = treePss(c->pid) / 1024.0;
        }
    }
    {
        auto m = spawn({MINIMAL_BROWSER, site.address("/")});
        if (waitFor([&] { return m->readLine(); }, 60000)) {
            waitFor([] { return false; }, 3000);
            minimal = treePss(m->pid) / 1024.0;
        }
    }
    return {client, minimal};
}

struct Round {
    double firstFrameMs = -1, playing = -1, minimised = -1, covered = -1;
};

Round run(site::SiteServer& site) {
    Round r;
    Harness h(WHIRLIGIG_APP_FOLDER);
    WebKitWebView* chatView = h.webView(h.host().WB());
    GtkWindow* window = h.host().gtkForm().window();
    struct Completion {
        std::string uri;
        gint64 at = 0;
    } completion{site.address("/")};
    g_signal_connect(
        chatView, "load-changed",
        G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
            auto* c = static_cast<Completion*>(data);
            if (event == WEBKIT_LOAD_FINISHED && !c->at && c->uri == webkit_web_view_get_uri(view))
                c->at = g_get_monotonic_time();
        }),
        &completion);
    app::Main main(h.host(),
                   {site.address("/update/"), site.address("/"), site.address("/stats/index.html"),
                    site.address("/my_videos_upload")});
    h.host().start();
    const bool started = waitFor(
        [&] {
            return pageEval(chatView,
                            "(window.chatMovieReports || []).some(r => r.includes('layout=h'))") ==
                   "true";
        },
        60000);
    g_signal_handlers_disconnect_by_data(chatView, &completion);
    if (!started || !completion.at) return r;
    r.firstFrameMs = (g_get_monotonic_time() - completion.at) / 1000.0;
    // Past the player's start-up and the template's loading spinner (it stops
    // after half a minute), so that the figure is the movie's own.
    const gint64 quiet = completion.at + 32 * G_USEC_PER_SEC;
    waitFor([] { return false; },
            static_cast<unsigned>(std::max<gint64>(0, quiet - g_get_monotonic_time()) / 1000));
    r.playing = webCpu(10);

    const std::string loops = "String(window.chatMovieLoops)";
    auto movesOn = [&] {
        const std::string at = pageEval(chatView, loops);
        return waitFor([&] { return pageEval(chatView, loops) != at; }, 10000);
    };
    const std::string allPaused =
        "[...whirligigFlashPlayer.players.values()].every(e => e.paused)";
    gtk_window_iconify(window);
    if (waitFor([&] { return pageEval(chatView, allPaused) == "true"; }, 10000))
        r.minimised = webCpu(10);
    gtk_window_deiconify(window);
    gtk_window_present(window);
    if (!movesOn()) std::fprintf(stderr, "the movie did not play on after the window's restore\n");

    h.host().wbload().ZOrder(0);
    if (waitFor([&] { return pageEval(chatView, allPaused) == "true"; }, 10000))
        r.covered = webCpu(10);
    h.host().WB().ZOrder(0);
    if (!movesOn()) std::fprintf(stderr, "the movie did not play on once uncovered\n");
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

std::string list(const std::vector<double>& v, const char* format) {
    std::string text;
    char buffer[32];
    for (double x : v) {
        std::snprintf(buffer, sizeof buffer, format, x);
        text += (text.empty() ? "" : " ") + std::string(buffer);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gtk_init(&argc, &argv);
    const std::string folder = WHIRLIGIG_APP_FOLDER;
    if (!g_file_test((folder + "/flashplayer/ruffle.js").c_str(), G_FILE_TEST_IS_REGULAR)) {
        std::fprintf(stderr, "no bundled Flash player in %s/flashplayer\n", folder.c_str());
        return 1;
    }
    site::SiteServer site;
    site.setLogging(false);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> first, playing, minimised, covered, client, minimal, ratio;
    for (int i = 0; i < rounds; ++i) {
        const Round r = run(site);
        const auto [c, m] = pssRound(site);
        std::printf(
            "round %d: first frame %.0f ms, CPU playing %.1f%%, minimised %.1f%%, covered %.1f%%, "
            "PSS client %.0f MiB, minimal %.0f MiB\n",
            i + 1, r.firstFrameMs, r.playing, r.minimised, r.covered, c, m);
        std::fflush(stdout);
        first.push_back(r.firstFrameMs);
        playing.push_back(r.playing);
        minimised.push_back(r.minimised);
        covered.push_back(r.covered);
        client.push_back(c);
        minimal.push_back(m);
        ratio.push_back(c / m);
    }
    std::printf("\n%-52s %10s %10s   %s\n", "medians of rounds", "figure", "target", "rounds");
    std::printf("%-52s %9.0f ms %7s ms   %s\n", "chat page complete to the movie's first frame",
                median(first), "<= 1500", list(first, "%.0f").c_str());
    std::printf("%-52s %9.1f %% %8s %%   %s\n", "CPU of the web processes, movie playing",
                median(playing), "<= 8", list(playing, "%.1f").c_str());
    std::printf("%-52s %9.1f %% %8s %%   %s\n", "CPU of the web processes, window minimised",
                median(minimised), "<= 1", list(minimised, "%.1f").c_str());
    std::printf("%-52s %9.1f %% %8s %%   %s\n", "CPU of the web processes, chat view covered",
                median(covered), "<= 1", list(covered, "%.1f").c_str());
    std::printf("%-52s %10.2f %10s   %s (client %.0f MiB, minimal %.0f MiB)\n",
                "PSS, client playing / minimal WebKitGTK program", median(ratio), "<= 1.5",
                list(ratio, "%.2f").c_str(), median(client), median(minimal));
    return 0;
}
