// The client's call helper: holds the chat view's peer connections (webrtcbin)
// outside the window's process, so that what remote peers send is read here.
// It talks to the window's process over the socket it was given as fd 3 and
// ends when that socket closes. With --missing-elements NAME..., it prints
// each named GStreamer element that is not installed, a line each, and ends.

#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HelperLink.h"
#include "Peers.h"

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc > 1 && std::strcmp(argv[1], "--missing-elements") == 0) {
        for (int i = 2; i < argc; ++i) {
            GstElementFactory* factory = gst_element_factory_find(argv[i]);
            if (factory)
                gst_object_unref(factory);
            else
                std::printf("%s\n", argv[i]);
        }
        return 0;
    }
    // The DTLS certificate (an RSA key, made once per process, 0.1 to 0.7 s)
    // is made now, beside the first connection's setup, rather than inside
    // its first offer or answer, which would wait for it.
    GThread* certificate = g_thread_new(
        "certificate",
        +[](gpointer) -> gpointer {
            if (GstElement* dtls = gst_element_factory_make("dtlsdec", nullptr))
                gst_object_unref(gst_object_ref_sink(dtls));
            return nullptr;
        },
        nullptr);
    const int fd = argc > 1 ? std::atoi(argv[1]) : 3;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    callhelper::Peers* peers = nullptr;
    callhelper::HelperLink link(
        fd, [&](JsonObject* message) { peers->command(message); }, [&] { g_main_loop_quit(loop); });
    callhelper::Peers all(link);
    peers = &all;
    g_unix_signal_add(
        SIGTERM,
        +[](gpointer l) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(l));
            return G_SOURCE_REMOVE;
        },
        loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    // Not ending the process under a key being made (the client ends it with SIGKILL).
    g_thread_join(certificate);
    return 0;
}
