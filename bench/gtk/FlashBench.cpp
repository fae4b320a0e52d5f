// The bundled Flash player in the chat view, against the demo site's movie:
// time from the chat page's completion to the movie's first frame (its first
// frame calls the page), CPU of the web process while the movie plays (from
// half a minute after the page's completion on, when the page itself is
// idle), and the web process's memory with and without the player.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm build/bench/gtk/gtk_flash_bench

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
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

// The web processes started by this program.
std::vector<int> webProcesses() {
    std::vector<int> found;
    GDir* proc = g_dir_open("/proc", 0, nullptr);
    while (const char* name = g_dir_read_name(proc)) {
        const int pid = std::atoi(name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(name) + "/stat");
        std::string content((std::istreambuf_iterator<char>(stat)), {});
        const size_t open = content.find('('), close = content.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(content.substr(close + 2));
        std::string state;
        int ppid = 0;
        rest >> state >> ppid;
        if (ppid == getpid() && content.substr(open + 1, close - open - 1) == "WebKitWebProces")
            found.push_back(pid);
    }
    g_dir_close(proc);
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

long pssKb(int pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    long total = 0;
    while (std::getline(rollup, line))
        if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    return total;
}

struct Round {
    double firstFrameMs = -1, preparedMs = -1, cpuPercent = -1;
    long pssMb = -1;
};

Round run(site::SiteServer& site, const std::string& appFolder, bool expectMovie) {
    Round r;
    Harness h(appFolder);
    WebKitWebView* chatView = h.webView(h.host().WB());
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
    // Prepared: the client's mark-up is in the page.
    if (!waitFor(
            [&] { return pageEval(chatView, "!!document.getElementById('whirligig')") == "true"; },
            60000))
        return r;
    r.preparedMs = (g_get_monotonic_time() - completion.at) / 1000.0;
    if (expectMovie) {
        if (!waitFor(
                [&] {
                    return pageEval(chatView,
                                    "(window.chatMovieReports || []).some(r => "
                                    "r.includes('layout=h'))") == "true";
                },
                60000))
            return r;
        r.firstFrameMs = (g_get_monotonic_time() - completion.at) / 1000.0;
    }
    // Past the player's start-up and the template's loading spinner (it stops
    // after half a minute), so that the figure is the movie's own.
    const gint64 quiet = completion.at + 32 * G_USEC_PER_SEC;
    waitFor([] { return false; },
            static_cast<unsigned>(std::max<gint64>(0, quiet - g_get_monotonic_time()) / 1000));
    const std::vector<int> processes = webProcesses();
    if (processes.empty()) return r;
    long before = 0, after = 0;
    for (int pid : processes) before += cpuTicks(pid);
    const gint64 from = g_get_monotonic_time();
    waitFor([] { return false; }, 10000);
    for (int pid : processes) after += cpuTicks(pid);
    const double seconds = (g_get_monotonic_time() - from) / 1e6;
    r.cpuPercent = 100.0 * (after - before) / sysconf(_SC_CLK_TCK) / seconds;
    long pss = 0;
    for (int pid : processes) pss += pssKb(pid);
    r.pssMb = pss / 1024;
    g_signal_handlers_disconnect_by_data(chatView, &completion);
    return r;
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
    // The same application folder without the player.
    guitest::TempFolder bare;
    const std::string link = "rm -rf '" + bare.path() + "/HTML' && ln -s '" + folder + "/HTML' '" +
                             bare.path() + "/HTML'";
    if (std::system(link.c_str()) != 0) return 1;

    site::SiteServer site;
    site.setLogging(false);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    std::printf("%-16s %14s %14s %12s %10s\n", "player", "prepared (ms)", "1st frame (ms)",
                "CPU (%core)", "PSS (MB)");
    for (int i = 0; i < rounds; ++i) {
        for (bool player : {true, false}) {
            const Round r = run(site, player ? folder : bare.path(), player);
            std::printf("%-16s %14.0f %14.0f %12.1f %10ld\n", player ? "bundled" : "none",
                        r.preparedMs, r.firstFrameMs, r.cpuPercent, r.pssMb);
            std::fflush(stdout);
        }
    }
    return 0;
}
