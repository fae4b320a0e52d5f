// whirligigcam-site: serves the demo site on 127.0.0.1 until SIGINT or SIGTERM.
//
//   whirligigcam-site [--port N] [--update-reply false|true|critical|TEXT]
//                     [--update-delay-ms N] [--auto-call] [--quiet]
//
// --update-reply false, true and critical answer "update=false", "update=true"
// and "update=critical"; any other text is sent as it is. --update-delay-ms
// holds the update reply back for N milliseconds (at most ten minutes), so that
// the client's start screen stays on view meanwhile. --auto-call has the chat
// page call the site's simulated friend as soon as its camera is live and its
// movie has started.

#include <glib-unix.h>
#include <glib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "demo/SiteServer.h"

namespace {

int usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--port N] [--update-reply false|true|critical|TEXT]"
                 " [--update-delay-ms N] [--auto-call] [--quiet]\n",
                 program);
    return 2;
}

std::string updateReplyFor(const std::string& choice) {
    if (choice == "false" || choice == "true" || choice == "critical") return "update=" + choice;
    return choice;
}

// A decimal number from 0 to limit, digits only.
bool parseNumber(const char* text, unsigned long limit, unsigned& number) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > limit) return false;
    number = static_cast<unsigned>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned port = WHIRLIGIG_DEMO_PORT;
    std::string reply = "update=false";
    unsigned delayMs = 0;
    bool quiet = false;
    bool autoCall = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 65535, port)) return usage(argv[0]);
        } else if (arg == "--update-reply" && i + 1 < argc) {
            reply = updateReplyFor(argv[++i]);
        } else if (arg == "--update-delay-ms" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 600000, delayMs)) return usage(argv[0]);
        } else if (arg == "--auto-call") {
            autoCall = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            return usage(argv[0]);
        }
    }

    try {
        site::SiteServer server(port);
        server.setUpdateReply(reply);
        server.setUpdateDelay(std::chrono::milliseconds(delayMs));
        server.setLogging(!quiet);
        server.setAutoCall(autoCall);
        std::printf("Serving %s (update reply \"%s\")\n", server.address().c_str(), reply.c_str());
        std::fflush(stdout);

        g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
        auto quit = [](gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return G_SOURCE_CONTINUE;
        };
        const guint onInt = g_unix_signal_add(SIGINT, quit, loop);
        const guint onTerm = g_unix_signal_add(SIGTERM, quit, loop);
        g_main_loop_run(loop);
        g_source_remove(onInt);
        g_source_remove(onTerm);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "whirligigcam-site: %s\n", e.what());
        return 1;
    }
    return 0;
}
