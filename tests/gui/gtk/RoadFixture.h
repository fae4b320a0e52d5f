#pragma once
// The whole program on the GTK backend against the project's own site: a
// Main window with real views, and ways to look at and act on its pages.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "TestSupport.h"
#include "app/Main.h"
#include "SiteSettings.h"
#include "demo/SiteServer.h"

namespace guitest {

inline std::string htmlFolder() {
    if (const char* folder = std::getenv("WHIRLIGIG_TEST_HTML")) return folder;
    return WHIRLIGIG_SOURCE_HTML;
}

// Clicks or moves the real pointer with xdotool, in screen coordinates.
inline void xdotool(const std::string& arguments) {
    std::string command = "xdotool " + arguments;
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr));
}

class RoadTest : public ::testing::Test {
protected:
    // chatSiteFromStart: the host knows the chat site ("/") when it is made.
    explicit RoadTest(unsigned pageMemoryLimitMB = gtkui::defaultPageMemoryLimitMB(),
                      bool chatSiteFromStart = false)
        : h({}, pageMemoryLimitMB, chatSiteFromStart ? site.address("/") : "") {}
    void SetUp() override {
        if (!g_file_test((htmlFolder() + "/Dialog.html").c_str(), G_FILE_TEST_EXISTS))
            GTEST_SKIP() << "no HTML folder at " << htmlFolder();
        std::string copy = "cp -r '" + htmlFolder() + "/.' '" + h.folder().path() + "/HTML/'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        site.setLogging(false);
        site.addRoute("/other", "<!DOCTYPE html><html><body>another page</body></html>");
    }
    void start(const std::string& chatPath = "/") {
        const support::Settings settings = siteSettings(site, chatPath);
        h.host().setChatSite(settings.chatStartAddress);
        main = std::make_unique<app::Main>(h.host(), settings);
        h.host().start();
    }
    WebKitWebView* startView() { return h.webView(h.host().wbload()); }
    WebKitWebView* chatView() { return h.webView(h.host().WB()); }
    std::string display(const std::string& id) {
        return pageEval(startView(),
                        "(e => e ? getComputedStyle(e).display : 'missing')"
                        "(document.getElementById('" +
                            id + "'))");
    }
    std::string chat(const std::string& script) { return pageEval(chatView(), script); }
    bool chatInFront() {
        GtkWidget* view = GTK_WIDGET(chatView());
        GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(view)));
        bool front = g_list_last(children)->data == view;
        g_list_free(children);
        return front;
    }
    // The client's mark-up is in the chat page and the chat view is in front.
    bool chatScreenUp() {
        return chatInFront() && chat("!!document.getElementById('whirligig')") == "true";
    }
    bool prepared() {
        return waitFor([&] { return chatScreenUp(); });
    }
    // Screen coordinates of the centre of an element of a view's page (the
    // chat view's by default).
    std::pair<int, int> onScreen(const std::string& id, WebKitWebView* view = nullptr) {
        std::string where = pageEval(
            view ? view : chatView(),
            "(r => Math.round(r.left + r.width / 2) + ',' + "
            "Math.round(r.top + r.height / 2))(document.getElementById('" +
                id + "').getBoundingClientRect())");
        int x = 0, y = 0;
        std::sscanf(where.c_str(), "%d,%d", &x, &y);
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(h.host().gtkForm().window())), &ox,
                              &oy);
        return {ox + x, oy + y};
    }
    // A real click (XTest) on an element of a view's page.
    void click(const std::string& id, WebKitWebView* view = nullptr) {
        auto [x, y] = onScreen(id, view);
        xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    }

    site::SiteServer site;
    Harness h;
    std::unique_ptr<app::Main> main;
};

}  // namespace guitest
