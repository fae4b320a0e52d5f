// The bundled Flash player in the chat view against a bare host: the demo
// site's movie in the client, then the same movie, at the same size and with
// the same flashvars, in a bare WebKitGTK program (gtk_bare_flash_host) with
// the client's player script and player files, sound on in both. The two take
// turns in every round, so that the machine's load falls on both alike.
// Each side counts all its processes, the client's own included (the client
// runs inside this benchmark, which waits without any source of its own while
// it measures). Printed per round: each process's share of one core, the
// client's own threads, PSS; then medians of the rounds beside their targets:
// - the time from the chat page's completion to the movie's first frame;
// - CPU of all processes, client / bare host, the movie playing (from a
//   settling time after the page's completion on, when the page is idle);
// - CPU of the client's own process while the movie plays;
// - CPU of all the client's processes while the window is minimised and while
//   the start view covers the chat view, beside the bare host playing;
// - PSS of all processes, client / bare host, the movie playing.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm
//       build/bench/gtk/gtk_flash_bench [--rounds N] [--seconds S] [--settle S]
//   (one command line; defaults 5 rounds, 10 s per figure, 32 s settling)
// The movie's sound plays into a private PulseAudio server's null sink.

#include <glib-unix.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ProcessShares.h"
#include "SoundServer.h"
#include "SiteSettings.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/GtkApp.h"

using bench::TreeShares;
using guitest::Harness;
using guitest::pageEval;
using guitest::waitFor;

namespace {

struct Options {
    int rounds = 5;
    unsigned seconds = 10, settle = 32;
    std::set<int> helpers;  // the benchmark's own child processes: not the client's
};

// The movie as the client's chat page shows it.
struct Movie {
    std::string address, flashvars;
    int width = 0, height = 0;
};

// What shows that the movie played through a measurement: loops it finished
// and sound streams open on the sound server.
struct Playing {
    int loops = 0, sounds = 0;
};

int soundStreams() {
    g_autofree gchar* out = nullptr;
    if (!g_spawn_command_line_sync("pactl list short sink-inputs", &out, nullptr, nullptr,
                                   nullptr) ||
        !out)
        return -1;
    int lines = 0;
    for (const char* p = out; *p; ++p) lines += *p == '\n';
    return lines;
}

struct ClientRound {
    double firstFrameMs = -1, pss = -1;
    TreeShares playing, minimised, covered;
    Playing shown;
    std::string pssList;
    std::string selfView;  // what became of the site's camera view
};

struct BareRound {
    double pss = -1;
    TreeShares playing;
    Playing shown;
    std::string pssList;
};

ClientRound runClient(site::SiteServer& site, const Options& o, Movie& movie) {
    ClientRound r;
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
    app::Main main(h.host(), guitest::siteSettings(site));
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
    const std::string object = "document.querySelector('object.wg-movie')";
    movie.address = pageEval(chatView, object + ".data");
    movie.flashvars = pageEval(chatView, object + ".querySelector('param[name=flashvars]').value");
    movie.width = std::atoi(pageEval(chatView, object + ".clientWidth").c_str());
    movie.height = std::atoi(pageEval(chatView, object + ".clientHeight").c_str());
    // Past the player's start-up and the template's loading spinner.
    const gint64 quiet = completion.at + o.settle * G_USEC_PER_SEC;
    bench::quietWait(
        static_cast<unsigned>(std::max<gint64>(0, quiet - g_get_monotonic_time()) / 1000));
    // Told on stderr, so that a profiler can be pointed at the window.
    std::fprintf(stderr, "measuring the client playing, pid %d\n", getpid());
    const int loopsBefore = std::atoi(pageEval(chatView, "window.chatMovieLoops").c_str());
    r.playing = bench::treeShares(getpid(), o.seconds, o.helpers);
    r.shown = {std::atoi(pageEval(chatView, "window.chatMovieLoops").c_str()) - loopsBefore,
               soundStreams()};
    r.pss = bench::pssMiB(bench::processTree(getpid(), o.helpers));
    r.pssList = bench::listPss(bench::processTree(getpid(), o.helpers));
    r.selfView = pageEval(chatView, "String(window.selfView)");

    const std::string loops = "String(window.chatMovieLoops)";
    auto movesOn = [&] {
        const std::string at = pageEval(chatView, loops);
        return waitFor([&] { return pageEval(chatView, loops) != at; }, 10000);
    };
    const std::string allPaused = "[...whirligigFlashPlayer.players.values()].every(e => e.paused)";
    gtk_window_iconify(window);
    if (waitFor([&] { return pageEval(chatView, allPaused) == "true"; }, 10000))
        r.minimised = bench::treeShares(getpid(), o.seconds, o.helpers);
    gtk_window_deiconify(window);
    gtk_window_present(window);
    if (!movesOn()) std::fprintf(stderr, "the movie did not play on after the window's restore\n");

    h.host().wbload().ZOrder(0);
    if (waitFor([&] { return pageEval(chatView, allPaused) == "true"; }, 10000))
        r.covered = bench::treeShares(getpid(), o.seconds, o.helpers);
    h.host().WB().ZOrder(0);
    if (!movesOn()) std::fprintf(stderr, "the movie did not play on once uncovered\n");
    return r;
}

// The bare host's page: the movie alone, and the two functions it calls; the
// first call names the page "playing".
std::string barePage(const Movie& m) {
    // An object shown by a player inside it is laid out as its fallback
    // content: its width and height attributes do not size it, a style does.
    const std::string size = "style=\"display:block;width:" + std::to_string(m.width) +
                             "px;height:" + std::to_string(m.height) + "px\"";
    g_autofree gchar* vars = g_markup_escape_text(m.flashvars.c_str(), -1);
    g_autofree gchar* address = g_markup_escape_text(m.address.c_str(), -1);
    return std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><script>") +
           "var chatMovieReports = [], chatMovieLoops = 0;"
           "function chatMovieStarted(v) { chatMovieReports.push(v); document.title = 'playing'; }"
           "function chatMovieLoop(n) { chatMovieLoops = n; document.title = 'loop ' + n; }"
           "</script></head><body style=\"margin:0;background:#111214\">"
           "<object type=\"application/x-shockwave-flash\" data=\"" +
           address + "\" " + size + "><param name=\"flashvars\" value=\"" + vars +
           "\"><param name=\"wmode\" value=\"opaque\"><param name=\"quality\" value=\"high\">"
           "<param name=\"allowScriptAccess\" value=\"sameDomain\"></object></body></html>";
}

BareRound runBare(const std::string& pageFile, const std::string& scriptFile,
                  const std::string& pageAddress, const Options& o) {
    BareRound r;
    std::string argv0 = BARE_FLASH_HOST, folder = WHIRLIGIG_APP_FOLDER,
                scheme = gtkui::ResourceScheme, page = pageFile, script = scriptFile,
                address = pageAddress;
    char* argv[] = {argv0.data(),  page.data(),   address.data(), script.data(),
                    scheme.data(), folder.data(), nullptr};
    GPid pid = 0;
    int out = -1;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &pid, nullptr, &out, nullptr, &error)) {
        std::fprintf(stderr, "cannot start the bare host: %s\n", error->message);
        g_error_free(error);
        return r;
    }
    g_unix_set_fd_nonblocking(out, TRUE, nullptr);
    std::string said;
    auto saw = [&](const char* line) {
        char buffer[256];
        for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) said.append(buffer, n);
        return said.find(line) != std::string::npos;
    };
    if (waitFor([&] { return saw("loaded\n"); }, 60000)) {
        const gint64 loaded = g_get_monotonic_time();
        if (waitFor([&] { return saw("playing\n"); }, 60000)) {
            const gint64 quiet = loaded + o.settle * G_USEC_PER_SEC;
            bench::quietWait(
                static_cast<unsigned>(std::max<gint64>(0, quiet - g_get_monotonic_time()) / 1000));
            std::fprintf(stderr, "measuring the bare host playing, pid %d\n", pid);
            saw("");
            const size_t loopsBefore = said.size();
            r.playing = bench::treeShares(pid, o.seconds);
            saw("");
            for (size_t at = said.find("loop ", loopsBefore); at != std::string::npos;
                 at = said.find("loop ", at + 1))
                ++r.shown.loops;
            r.shown.sounds = soundStreams();
            r.pss = bench::pssMiB(bench::processTree(pid));
            r.pssList = bench::listPss(bench::processTree(pid));
        } else {
            std::fprintf(stderr, "the movie did not start in the bare host\n");
        }
    } else {
        std::fprintf(stderr, "the bare host did not load its page\n");
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(out);
    return r;
}

// -1 where nothing was measured.
double total(const TreeShares& t) { return t.processes.empty() ? -1 : t.total; }

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

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(1, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--rounds")) o.rounds = value;
        if (!std::strcmp(argv[i], "--seconds")) o.seconds = value;
        if (!std::strcmp(argv[i], "--settle")) o.settle = value;
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gtk_init(&argc, &argv);
    Options o = parse(argc, argv);
    const std::string folder = WHIRLIGIG_APP_FOLDER;
    if (!g_file_test((folder + "/flashplayer/ruffle.js").c_str(), G_FILE_TEST_IS_REGULAR)) {
        std::fprintf(stderr, "no bundled Flash player in %s/flashplayer\n", folder.c_str());
        return 1;
    }
    // Both sides play the movie's sound into a private sound server's null sink.
    guitest::SoundServer sound;
    if (!sound.running()) std::fprintf(stderr, "no sound server: the movie plays without sound\n");
    o.helpers = bench::processTree(getpid());
    o.helpers.erase(getpid());
    site::SiteServer site;
    site.setLogging(false);
    g_autofree gchar* temp = g_dir_make_tmp("flash-bench-XXXXXX", nullptr);
    const std::string pageFile = std::string(temp) + "/page.html";
    const std::string scriptFile = std::string(temp) + "/player.js";
    const std::string script = gtkui::chatViewPlayerScript();
    g_file_set_contents(scriptFile.c_str(), script.c_str(), -1, nullptr);
    std::printf("load average at the start: %s; %d rounds, %u s per figure, %u s settling\n",
                loadAverage().c_str(), o.rounds, o.seconds, o.settle);

    std::vector<double> first, own, bareOwn, clientAll, bareAll, ratio, minimised, covered,
        clientPss, barePss, pssRatio;
    Movie movie;
    for (int i = 0; i < o.rounds; ++i) {
        const ClientRound c = runClient(site, o, movie);
        const std::string page = barePage(movie);
        g_file_set_contents(pageFile.c_str(), page.c_str(), -1, nullptr);
        const BareRound b = runBare(pageFile, scriptFile, site.address("/"), o);
        const double ownShare = c.playing.processes.empty() ? -1 : c.playing.processes[0].percent;
        std::printf(
            "round %d (movie %dx%d, site's camera view %s): first frame %.0f ms\n"
            "  client playing %.1f%% (%d loops, %d sound streams): %s\n    own threads: %s\n"
            "  client minimised %.1f%%: %s\n  client covered %.1f%%: %s\n"
            "  client PSS %.0f MiB: %s\n"
            "  bare host playing %.1f%% (%d loops, %d sound streams): %s\n    own threads: %s\n"
            "  bare host PSS %.0f MiB: %s\n",
            i + 1, movie.width, movie.height, c.selfView.c_str(), c.firstFrameMs, c.playing.total,
            c.shown.loops, c.shown.sounds, bench::listShares(c.playing.processes).c_str(),
            bench::listShares(c.playing.rootThreads).c_str(), total(c.minimised),
            bench::listShares(c.minimised.processes).c_str(), total(c.covered),
            bench::listShares(c.covered.processes).c_str(), c.pss, c.pssList.c_str(),
            b.playing.total, b.shown.loops, b.shown.sounds,
            bench::listShares(b.playing.processes).c_str(),
            bench::listShares(b.playing.rootThreads).c_str(), b.pss, b.pssList.c_str());
        std::fflush(stdout);
        first.push_back(c.firstFrameMs);
        own.push_back(ownShare);
        bareOwn.push_back(b.playing.processes.empty() ? -1 : b.playing.processes[0].percent);
        clientAll.push_back(c.playing.total);
        bareAll.push_back(b.playing.total);
        ratio.push_back(b.playing.total > 0 ? c.playing.total / b.playing.total : -1);
        minimised.push_back(total(c.minimised));
        covered.push_back(total(c.covered));
        clientPss.push_back(c.pss);
        barePss.push_back(b.pss);
        pssRatio.push_back(b.pss > 0 ? c.pss / b.pss : -1);
    }
    const double bare = median(bareAll);
    std::printf("\nload average at the end: %s\n", loadAverage().c_str());
    std::printf("%-50s %10s %10s   %s\n", "medians of rounds", "figure", "target", "rounds");
    std::printf("%-50s %9.0f ms %7s ms   %s\n", "chat page complete to the movie's first frame",
                median(first), "<= 1500", list(first, "%.0f").c_str());
    std::printf("%-50s %9.2f x %8s x   %s (client %.1f %%, bare host %.1f %%)\n",
                "CPU playing, all processes, client / bare host", median(ratio), "<= 1.10",
                list(ratio, "%.2f").c_str(), median(clientAll), bare);
    std::printf("%-50s %9.1f %% %8s %%   %s (the bare host's own %.1f %%)\n",
                "CPU playing, the client's own process", median(own), "<= 1",
                list(own, "%.1f").c_str(), median(bareOwn));
    std::printf("%-50s %9.1f %% %8s %%   %s (bare host playing %.1f %%)\n",
                "CPU minimised, all the client's processes", median(minimised), "<= 1",
                list(minimised, "%.1f").c_str(), bare);
    std::printf("%-50s %9.1f %% %8s %%   %s (bare host playing %.1f %%)\n",
                "CPU covered, all the client's processes", median(covered), "<= 1.5",
                list(covered, "%.1f").c_str(), bare);
    std::printf("%-50s %9.2f x %8s x   %s (client %.0f MiB, bare host %.0f MiB)\n",
                "PSS playing, client / bare host", median(pssRatio), "<= 1.10",
                list(pssRatio, "%.2f").c_str(), median(clientPss), median(barePss));
    g_remove(pageFile.c_str());
    g_remove(scriptFile.c_str());
    g_rmdir(temp);
    return 0;
}
