#include "programs/whirligigcam/DesktopProgram.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/Main.h"
#include "platform/desktop/EngineSupport.h"
#include "platform/desktop/GLibLog.h"
#include "platform/desktop/MediaElements.h"
#include "platform/desktop/SettingsFile.h"
#include "platform/desktop/XdgFolders.h"
#include "platform/gtk/GtkHost.h"
#include "platform/gtk/OrderlyEnd.h"
#include "platform/gtk/SiteData.h"
#include "platform/gtk/WebRenderer.h"
#include "platform/recorder/ChatSoundSink.h"
#include "programs/whirligigcam/DesktopServices.h"
#include "support/Failure.h"
#include "support/Log.h"

namespace gtkui {

namespace {

struct Program {
    ProgramInfo info;
    int status = 0;
    std::unique_ptr<recorder::ChatSoundSink> chatSink;  // outlives the web processes
    std::unique_ptr<GtkHost> host;
    std::unique_ptr<app::Main> main;
    std::unique_ptr<OrderlyEnd> orderlyEnd;
};

const GOptionEntry kOptions[] = {
    {"version", 0, 0, G_OPTION_ARG_NONE, nullptr, "Show the program's version and exit", nullptr},
    {"verbose", 'v', 0, G_OPTION_ARG_NONE, nullptr,
     "Write the program's log to the standard error stream", nullptr},
    {"forget-site-data", 0, 0, G_OPTION_ARG_NONE, nullptr,
     "Remove the chat site's cookies (the login), storage and cache, and exit", nullptr},
    {}};

// Removes the sites' data unless a running window holds it. It needs no
// display and no session bus: the application is not registered, as that
// would start GTK. The status to exit with.
int answerForgetSiteData(const char* program) {
    try {
        const auto removed = forgetSiteData(siteDataFolders(program));
        if (removed.empty()) std::printf("%s: there was no site data to remove.\n", program);
        for (const std::string& line : removed) std::printf("removed %s\n", line.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}

// Runs in the process that was started, before it looks for a running
// instance: the options that need no window are answered here.
gint onLocalOptions(GApplication* application, GVariantDict* options, gpointer data) {
    auto* program = static_cast<Program*>(data);
    if (g_variant_dict_contains(options, "version")) {
        std::printf("%s %s\n", program->info.name, WHIRLIGIG_VERSION);
        return 0;
    }
    if (g_variant_dict_contains(options, "forget-site-data"))
        return answerForgetSiteData(program->info.name);
    if (g_variant_dict_contains(options, "verbose")) desktop::enableVerboseLog();

    // The window must know its own position and read its own pixels: X11 only.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "%s: Whirligigcam Desktop needs an X11 display and none was found.\n",
                     program->info.name);
        return 1;
    }
    return -1;  // carry on: register, then activate here or in the running instance
}

void onActivate(GApplication* application, gpointer data) {
    auto* program = static_cast<Program*>(data);
    if (program->host) {
        // Started again: the running window comes to the front.
        if (!program->host->windowGone()) gtk_window_present(program->host->gtkForm().window());
        return;
    }
    try {
        desktop::RecordingSettings recording;
        desktop::ChatSettings chat;
        const support::Settings settings = desktop::loadSettings(
            support::Settings::builtIn(), desktop::settingsFiles(),
            [](const std::string& problem) { support::logWarning(problem); }, &recording, &chat);
        support::logInfo("addresses: update server " + settings.updateBaseAddress + ", chat site " +
                         settings.chatStartAddress + ", statistics page " +
                         settings.statisticsPageAddress + ", upload page " +
                         settings.uploadPageAddress);
        support::logInfo(std::string("recordings' sound: chat ") +
                         (recording.chatSound ? "on" : "off") + ", microphone " +
                         (recording.microphone ? "on" : "off"));
        desktop::warnIfEngineWithoutSecuritySupport(static_cast<int>(webkit_get_major_version()),
                                                    static_cast<int>(webkit_get_minor_version()),
                                                    static_cast<int>(webkit_get_micro_version()));
        // Without its pages the window would stay blank or bare: say which
        // file is missing and where it was looked for.
        for (const char* name : {"Dialog.html", "Style.css", "Script.js", "Body.html"}) {
            const std::string path = executableFolder() + "/HTML/" + name;
            if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR))
                support::logWarning("a resource of the program is missing: " + path);
        }
        // The chat's sound is recorded from a sink of the client's own, which
        // the web processes play into: made before the first one starts.
        std::string chatSink;
        if (recording.chatSound) {
            try {
                program->chatSink = recorder::ChatSoundSink::create();
                chatSink = program->chatSink->name();
            } catch (const support::Failure& e) {
                support::logWarning(std::string("chat sound: ") + e.what() +
                                    "; recordings will have none of the chat's sound");
            }
        }
        desktop::logMissingMediaElementsSoon(executableFolder() + "/whirligigcam-call-helper");
        const bool simulate = program->info.simulateDevices;
        HostOptions options;
        options.program = program->info.name;
        options.chatSite = settings.chatStartAddress;
        options.spellChecking = chat.spellChecking;
        // The demo's simulated webcam goes with WebKit's simulated capture devices.
        options.mockCaptureDevices = simulate;
        program->host = std::make_unique<GtkHost>(
            [simulate, recording, chatSink](GtkWindow* window) {
                return makeDesktopServices(window, simulate, recording, chatSink);
            },
            options);
        program->main = std::make_unique<app::Main>(*program->host, settings);
        program->orderlyEnd = std::make_unique<OrderlyEnd>(*program->host);
        // The application runs while its window exists.
        gtk_application_add_window(GTK_APPLICATION(application), program->host->gtkForm().window());
        program->host->start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program->info.name, e.what());
        program->status = 1;
    }
}

}  // namespace

int runDesktopProgram(int argc, char** argv, const ProgramInfo& info) {
    // The renderer must be chosen before GTK and WebKit start; a value the
    // user set is kept.
    const std::string rendererWarning = gtkui::chooseWebRenderer();
    desktop::installGLibLogSink();
    if (!rendererWarning.empty()) support::logWarning(rendererWarning);
    for (const std::string& change : desktop::dropRelativeXdgFolders()) support::logWarning(change);
    Program program;
    program.info = info;
    g_autoptr(GtkApplication) application =
        gtk_application_new(info.applicationId, G_APPLICATION_DEFAULT_FLAGS);
    g_application_add_main_option_entries(G_APPLICATION(application), kOptions);
    g_application_set_option_context_summary(
        G_APPLICATION(application),
        "The desktop client of the Whirligigcam video chat: one window that checks for a\n"
        "Flash player, a webcam and updates, then shows the chat with recording and sharing.");
    g_application_set_option_context_description(
        G_APPLICATION(application),
        "The addresses of the update server, the chat site, the statistics page and the\n"
        "upload page, and the sounds a recording carries, can be set in\n"
        "/etc/whirligigcam/whirligigcam.conf and, per user, in\n"
        "$XDG_CONFIG_HOME/whirligigcam/whirligigcam.conf (see the manual page).");
    g_signal_connect(application, "handle-local-options", G_CALLBACK(onLocalOptions), &program);
    g_signal_connect(application, "activate", G_CALLBACK(onActivate), &program);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    // The window has gone; the window's logic goes before the host it uses.
    program.orderlyEnd.reset();
    program.main.reset();
    program.host.reset();
    program.chatSink.reset();
    return status != 0 ? status : program.status;
}

}  // namespace gtkui
