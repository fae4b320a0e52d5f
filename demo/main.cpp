// whirligigcam-site: serves the demo site on 127.0.0.1 until SIGINT or SIGTERM.
//
//   whirligigcam-site [--port N] [--update-reply false|true|critical|TEXT] [--quiet]
//
// --update-reply false, true and critical answer "update=false", "update=true"
// and "update=critical"; any other text is sent as it is.

#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "demo/SiteServer.h"

namespace {

int usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--port N] [--update-reply false|true|critical|TEXT] [--quiet]\n",
                 program);
    return 2;
}

std::string updateReplyFor(const std::string& choice) {
    if (choice == "false" || choice == "true" || choice == "critical") return "update=" + choice;
    return choice;
}

bool parsePort(const char* text, unsigned& port) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value > 65535) return false;
    port = static_cast<unsigned>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned port = WHIRLIGIG_DEMO_PORT;
    std::string reply = "update=false";
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            if (!parsePort(argv[++i], port)) return usage(argv[0]);
        } else if (arg == "--update-reply" && i + 1 < argc) {
            reply = updateReplyFor(argv[++i]);
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            return usage(argv[0]);
        }
    }

    try {
        site::SiteServer server(port);
        server.setUpdateReply(reply);
        server.setLogging(!quiet);
        std::printf("Serving %s (update reply \"%s\")\n", server.address().c_str(), reply.c_str());
        std::fflush(stdout);

        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        auto quit = [](gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return G_SOURCE_CONTINUE;
        };
        const guint onInt = g_unix_signal_add(SIGINT, quit, loop);
        const guint onTerm = g_unix_signal_add(SIGTERM, quit, loop);
        g_main_loop_run(loop);
        g_source_remove(onInt);
        g_source_remove(onTerm);
        g_main_loop_unref(loop);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "whirligigcam-site: %s\n", e.what());
        return 1;
    }
    return 0;
}
