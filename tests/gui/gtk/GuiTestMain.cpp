// Starts GTK for the GUI tests (only when tests run, so that listing them
// needs no display), in a private desktop of default handlers.

#include <gdk/gdk.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/gtk/WebRenderer.h"
#include "support/Failure.h"

namespace {

void writeFile(const std::string& path, const std::string& text, int mode = 0600) {
    ASSERT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr)) << path;
    g_chmod(path.c_str(), mode);
}

// A private desktop whose default handler for web, mail, file and a few other
// schemes writes each address it is given to a file (WHIRLIGIG_TEST_OPENED),
// so that nothing a test opens reaches the machine's own programs. GLib reads
// these folders once, so they are set before GTK starts.
void privateDefaultHandlers() {
    g_autofree gchar* made = g_dir_make_tmp("whirligig-desktop-XXXXXX", nullptr);
    ASSERT_TRUE(made);
    const std::string root = made;
    for (const char* dir : {"/share/applications", "/config", "/config-dirs", "/data-home",
                            "/cache-home", "/state-home", "/home"})
        g_mkdir_with_parents((root + dir).c_str(), 0700);
    const std::string log = root + "/opened";
    writeFile(root + "/handler", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log + "'\n", 0700);
    const char* types[] = {"x-scheme-handler/http",   "x-scheme-handler/https",
                           "x-scheme-handler/mailto", "x-scheme-handler/evilscheme",
                           "x-scheme-handler/ssh",    "x-scheme-handler/smb",
                           "x-scheme-handler/data",   "text/plain"};
    std::string mimeTypes, defaults = "[Default Applications]\n";
    for (const char* type : types) {
        mimeTypes += std::string(type) + ";";
        defaults += std::string(type) + "=whirligig-test-handler.desktop\n";
    }
    writeFile(root + "/share/applications/whirligig-test-handler.desktop",
              "[Desktop Entry]\nType=Application\nName=Test handler\nNoDisplay=true\nExec=" + root +
                  "/handler %u\nMimeType=" + mimeTypes + "\n");
    writeFile(root + "/config/mimeapps.list", defaults);
    // A home of its own, whose download folder is the desktop's usual one.
    writeFile(root + "/config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/state-home").c_str(), 1);
    const char* dataDirs = g_getenv("XDG_DATA_DIRS");
    const std::string system = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    setenv("XDG_DATA_DIRS", (root + "/share:" + system).c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data-home").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache-home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root + "/config-dirs").c_str(), 1);
    setenv("WHIRLIGIG_TEST_OPENED", log.c_str(), 1);
    setenv("WHIRLIGIG_TEST_DESKTOP", root.c_str(), 1);
}

class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        privateDefaultHandlers();
        // The program's own choice of renderer.
        gtkui::chooseWebRenderer();
        gdk_set_allowed_backends("x11");
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the GUI tests need an X11 display";
    }
    void TearDown() override {
        if (const char* root = g_getenv("WHIRLIGIG_TEST_DESKTOP"))
            if (std::system(("rm -rf '" + std::string(root) + "'").c_str()) != 0) {
            }
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // A fault that the event queue catches fails the running test instead of
    // only reaching the log.
    support::setFaultHook([](std::string_view what) {
        ADD_FAILURE() << "a fault escaped an event of the window: " << what;
    });
    ::testing::AddGlobalTestEnvironment(new GtkEnvironment);
    return RUN_ALL_TESTS();
}
