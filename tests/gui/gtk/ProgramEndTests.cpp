// The real demo program, told to end by a signal while its chat page hangs:
// it ends within two seconds, and none of its WebKit processes outlives it by
// more than two seconds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "TestSupport.h"
#include "demo/SiteServer.h"

namespace guitest {
namespace {

// The program's WebKit processes (web and network), found by their parent.
std::set<int> webKitChildren(int parent) {
    std::set<int> found;
    GDir* proc = g_dir_open("/proc", 0, nullptr);
    for (const char* entry; proc && (entry = g_dir_read_name(proc));) {
        std::ifstream stat("/proc/" + std::string(entry) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('('), close = line.rfind(')');
        if (close == std::string::npos || line.compare(open + 1, 6, "WebKit") != 0) continue;
        int ppid = 0;
        char state = 0;
        std::sscanf(line.c_str() + close + 2, "%c %d", &state, &ppid);
        if (ppid == parent) found.insert(std::atoi(entry));
    }
    if (proc) g_dir_close(proc);
    return found;
}

// Gone, or a zombie that waits only for whoever adopted it to reap it.
bool ended(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto close = line.rfind(')');
    return close == std::string::npos || line[close + 2] == 'Z';
}

std::string fileText(const std::string& path) {
    g_autofree gchar* text = nullptr;
    return g_file_get_contents(path.c_str(), &text, nullptr, nullptr) ? text : "";
}

struct Hang {
    const char* name;
    int afterMs;  // after the client's mark-up is in
};

void PrintTo(const Hang& hang, std::ostream* out) { *out << hang.name; }

class ProgramEnd : public ::testing::TestWithParam<Hang> {};

TEST_P(ProgramEnd, ASignalEndsTheProgramAndItsWebKitProcesses) {
    if (!g_file_test(WHIRLIGIG_DEMO_PROGRAM, G_FILE_TEST_IS_EXECUTABLE))
        GTEST_SKIP() << "the demo program is not built: " << WHIRLIGIG_DEMO_PROGRAM;
    site::SiteServer site;
    site.setLogging(false);
    site.addRoute("/stalled", "");
    // The page asks for /stalled, then never answers again.
    site.setChatPage(
        "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div><script>"
        "new MutationObserver((m, o) => { if (!document.getElementById('whirligig')) return;"
        " o.disconnect(); setTimeout(() => {"
        " const x = new XMLHttpRequest(); x.open('GET', '/stalled', false); x.send();"
        " while (true) {} }, " +
        std::to_string(GetParam().afterMs) +
        "); }).observe(document.body, {childList: true});"
        "</script></body></html>");
    TempFolder home;
    home.write("config/whirligigcam/whirligigcam.conf",
               "[Addresses]\nUpdateBase=" + site.address("/update/") + "\nChatStart=" +
                   site.address("/") + "\nStatisticsPage=" + site.address("/stats/index.html") +
                   "\nUploadPage=" + site.address("/my_videos_upload") + "\n");
    // Its own settings and web state, and no session bus: no running
    // instance elsewhere takes the start over.
    const std::pair<const char*, std::string> settings[] = {
        {"XDG_CONFIG_HOME", home.path() + "/config"},
        {"XDG_DATA_HOME", home.path() + "/data"},
        {"XDG_CACHE_HOME", home.path() + "/cache"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-bus"},
        {"GSETTINGS_BACKEND", "memory"},
        {"NO_AT_BRIDGE", "1"}};
    g_auto(GStrv) envp = g_get_environ();
    for (const auto& [name, value] : settings)
        envp = g_environ_setenv(envp, name, value.c_str(), TRUE);
    const gchar* argv[] = {WHIRLIGIG_DEMO_PROGRAM, "--verbose", nullptr};
    const std::string log = home.path() + "/program.log";
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    GPid pid = 0;
    GError* error = nullptr;
    ASSERT_TRUE(g_spawn_async_with_fds(nullptr, const_cast<gchar**>(argv), envp,
                                       G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, -1, logFd,
                                       logFd, &error))
        << error->message;
    close(logFd);
    int status = 0;
    bool exited = false;
    auto programEnded = [&] { return exited || (exited = waitpid(pid, &status, WNOHANG) == pid); };
    std::set<int> children;
    // A program that did not end is ended here, with what it started.
    struct Cleanup {
        GPid pid;
        bool& exited;
        std::set<int>& children;
        ~Cleanup() {
            if (!exited && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
            for (int child : children)
                if (!ended(child)) kill(child, SIGKILL);
        }
    } cleanup{pid, exited, children};

    ASSERT_TRUE(waitFor([&] { return site.requestCount("/stalled") > 0 || programEnded(); }, 60000))
        << fileText(log);
    ASSERT_FALSE(exited) << fileText(log);
    children = webKitChildren(pid);
    EXPECT_GE(children.size(), 3u) << "the start page's, the chat page's and the network process";

    const gint64 signalled = g_get_monotonic_time();
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(waitFor(programEnded, 30000)) << fileText(log);
    const double toExit = (g_get_monotonic_time() - signalled) / 1e6;
    EXPECT_TRUE(WIFEXITED(status)) << fileText(log);
    EXPECT_LE(toExit, 2.0) << fileText(log);
    EXPECT_TRUE(waitFor([&] {
        for (int child : children)
            if (!ended(child)) return false;
        return true;
    }));
    EXPECT_LE((g_get_monotonic_time() - signalled) / 1e6, toExit + 2.0);
    // Its end frees nothing twice: GLib tells of a freed object as a critical.
    std::istringstream lines(fileText(log));
    for (std::string line; std::getline(lines, line);)
        EXPECT_FALSE(line.find("(whirligigcam-demo:") != std::string::npos &&
                     line.find("-CRITICAL **") != std::string::npos)
            << line;
}

// At once, while the preparation's reads wait for the page; or once the chat
// screen is up, when no read waits.
INSTANTIATE_TEST_SUITE_P(Hangs, ProgramEnd,
                         ::testing::Values(Hang{"WhileAReadWaits", 0},
                                           Hang{"AfterTheChatScreenIsUp", 2000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace guitest
