// The window under a window manager: geometry in twips, centring, the
// minimum size, icons, the views' stacking,
// the form's events, the event queue's errors and the timer.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"
#include "app/SetWindowIcons.h"
#include "common/WindowTwips.h"
#include "demo/SiteServer.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/GtkTimer.h"
#include "support/Failure.h"

namespace guitest {
namespace {

GdkRectangle outerRect(GtkWindow* window) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(window)), &frame);
    return frame;
}

class WindowTest : public ::testing::Test {
protected:
    gtkui::GtkHost& host() { return h.host(); }
    GtkWindow* window() { return host().gtkForm().window(); }
    // Waits until the window manager has framed the window.
    bool framed() {
        return waitFor([&] {
            GdkRectangle outer = outerRect(window());
            return gtk_widget_get_mapped(GTK_WIDGET(window())) && outer.height > 558;
        });
    }

    Harness h;
};

TEST_F(WindowTest, StartsCentredWithItsClientSize) {
    // The whole window: Load sets its outer minimum.
    app::Main program(host(), {});
    host().start();
    ASSERT_TRUE(framed());
    platform::Form& form = host().form();
    EXPECT_DOUBLE_EQ(host().screen().dotsPerInch(), 96.0);
    OutsideRequests x(static_cast<unsigned long>(form.hWnd()));
    EXPECT_EQ(x.clientArea().width, 698);
    EXPECT_EQ(x.clientArea().height, 558);
    EXPECT_EQ(form.geometry().clientWidth, 698);
    EXPECT_EQ(form.geometry().clientHeight, 558);
    EXPECT_STREQ(gtk_window_get_title(window()), "Whirligigcam Desktop");
    EXPECT_NE(form.hWnd(), 0);

    GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default());
    if (!monitor) monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    ASSERT_TRUE(waitFor([&] {
        GdkRectangle outer = outerRect(window());
        return std::abs((outer.x + outer.width / 2) - (area.x + area.width / 2)) <= 1 &&
               std::abs((outer.y + outer.height / 2) - (area.y + area.height / 2)) <= 1;
    })) << "outer "
        << outerRect(window()).x << "," << outerRect(window()).y;
    GdkRectangle outer = outerRect(window());
    // left and top assume equal side and bottom borders: from them the client
    // area is found where it is, whatever the window manager's frame.
    int clientX = 0, clientY = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window())), &clientX, &clientY);
    const platform::WindowGeometry g = form.geometry();
    const double side = (g.width - g.clientWidth) / 2.0;
    EXPECT_DOUBLE_EQ(g.left + side, clientX);
    EXPECT_DOUBLE_EQ(g.top + (g.height - g.clientHeight) - side, clientY);
    EXPECT_EQ(g.width, outer.width);
    EXPECT_EQ(g.height, outer.height);
}

// The window's own minimum, as the program sets it when it loads.
TEST_F(WindowTest, TheWindowKeepsTheMinimumOuterSize) {
    app::Main program(host(), {});
    host().start();
    ASSERT_TRUE(framed());
    GtkWindow* w = window();
    auto atMinimum = [&] {
        GdkRectangle outer = outerRect(w);
        return outer.width == app::MinimumWindowSize.width &&
               outer.height == app::MinimumWindowSize.height;
    };
    // From inside the program.
    gtk_window_resize(w, 300, 200);
    EXPECT_TRUE(waitFor(atMinimum)) << outerRect(w).width << "x" << outerRect(w).height;
    // From outside: another client resizes the window.
    gtk_window_resize(w, 800, 700);
    ASSERT_TRUE(waitFor([&] { return outerRect(w).width > 700; }));
    std::string command = "xdotool windowsize " + std::to_string(host().form().hWnd()) + " 200 150";
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(waitFor(atMinimum)) << outerRect(w).width << "x" << outerRect(w).height;

    // Growing by a fraction of a pixel still grows by one.
    ASSERT_TRUE(
        waitFor([&] { return host().form().geometry().height == app::MinimumWindowSize.height; }));
    const common::WindowTwips now =
        common::windowInTwips(host().form().geometry(), host().screen().dotsPerInch());
    host().form().setOuterHeight(now.outerHeightFor(now.height + 1));
    EXPECT_TRUE(waitFor([&] { return outerRect(w).height == app::MinimumWindowSize.height + 1; }));
}

TEST_F(WindowTest, IconsComeFromTheIconFolderInThreeSizes) {
    for (int size : {16, 32, 48})
        h.folder().write("icons/whirligigcam-" + std::to_string(size) + ".png",
                         pngImage(size, size, 0x3366cc));
    platform::WindowSystem& system = host().windows();
    EXPECT_EQ(system.ownerOf(host().form().hWnd()), 0);
    app::SetWindowIcons(system, host().form().hWnd(), "AAA", true);
    GList* icons = gtk_window_get_icon_list(window());
    std::vector<int> sizes;
    for (GList* i = icons; i; i = i->next)
        sizes.push_back(gdk_pixbuf_get_width(GDK_PIXBUF(i->data)));
    g_list_free(icons);
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
}

TEST_F(WindowTest, MissingIconsLeaveTheWindowWithoutIcons) {
    app::SetWindowIcons(host().windows(), host().form().hWnd(), "AAA", true);
    EXPECT_EQ(gtk_window_get_icon_list(window()), nullptr);
}

TEST_F(WindowTest, ViewsStackWithoutReloadingAndTheSmallViewStaysCovered) {
    site::SiteServer site;
    site.setLogging(false);
    auto colour = [](const char* c) {
        return (
            std::string("<!DOCTYPE html><html><body style=\"margin:0;height:100vh;background:") +
            c + "\" onclick=\"window.clicks = (window.clicks || 0) + 1\"></body></html>");
    };
    site.addRoute("/red", colour("#ff0000"));
    site.addRoute("/green", colour("#00ff00"));
    site.addRoute("/blue", colour("#0000ff"));
    host().start();
    ASSERT_TRUE(framed());
    ASSERT_TRUE(h.load(host().WB(), site.address("/red")));
    ASSERT_TRUE(h.load(host().wbload(), site.address("/green")));
    ASSERT_TRUE(h.load(host().wbstat(), site.address("/blue")));
    GtkWindow* w = window();
    // wbstat's rectangle: 296, 504, 57 x 41.
    const int sx = 296 + 28, sy = 504 + 20;
    EXPECT_TRUE(waitFor([&] { return windowPixel(w, 100, 100) == 0x00ff00; }));
    EXPECT_EQ(windowPixel(w, sx, sy), 0x00ff00u);
    host().WB().ZOrder(0);
    EXPECT_TRUE(waitFor([&] { return windowPixel(w, 100, 100) == 0xff0000; }));
    EXPECT_EQ(windowPixel(w, sx, sy), 0xff0000u);
    // Pointer input goes to the view in front as well.
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(w)), &ox, &oy);
    std::string click = "xdotool mousemove " + std::to_string(ox + 100) + " " +
                        std::to_string(oy + 100) + " click 1";
    ASSERT_TRUE(g_spawn_command_line_sync(click.c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(waitFor([&] { return pageEval(h.webView(host().WB()), "window.clicks") == "1"; }));
    EXPECT_EQ(pageEval(h.webView(host().wbload()), "window.clicks"), "undefined");
    host().wbload().ZOrder(0);
    EXPECT_TRUE(waitFor([&] { return windowPixel(w, 100, 100) == 0x00ff00; }));
    EXPECT_EQ(site.requestCount("/red"), 1);
    EXPECT_EQ(site.requestCount("/green"), 1);
    // Move places a view in pixels.
    host().wbload().Move(0, 0, 150, 558);
    EXPECT_TRUE(waitFor([&] { return windowPixel(w, 300, 100) == 0xff0000; }));
    EXPECT_EQ(windowPixel(w, 100, 100), 0x00ff00u);
}

TEST_F(WindowTest, FormEventsRunThroughTheQueueAndUnloadCanBeCancelled) {
    std::vector<std::string> events;
    bool cancelClose = true;
    host().form().setEvents({[&] {
                                 events.push_back(gtk_widget_get_mapped(GTK_WIDGET(window()))
                                                      ? "load (shown)"
                                                      : "load");
                             },
                             [&](bool& cancel) {
                                 events.push_back("unload");
                                 cancel = cancelClose;
                             },
                             [&] { events.push_back("resize"); }});
    host().start();
    ASSERT_TRUE(framed());
    ASSERT_TRUE(waitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events[0], "load");
    EXPECT_EQ(events[1], "resize");
    gtk_window_resize(window(), 750, 600);
    EXPECT_TRUE(waitFor([&] { return events.back() == "resize" && events.size() == 3; }));

    gtk_window_close(window());
    ASSERT_TRUE(waitFor([&] { return events.back() == "unload"; }));
    EXPECT_FALSE(host().windowGone());

    // A close request while a handler runs waits for it; then the window goes.
    cancelClose = false;
    bool ticked = false;
    host().TimerResize().setHandler([&] { ticked = true; });
    bool closeRequested = false;
    const guint deleteEvent = g_signal_lookup("delete-event", GTK_TYPE_WIDGET);
    const gulong hook = g_signal_add_emission_hook(
        deleteEvent, 0,
        [](GSignalInvocationHint*, guint, const GValue*, gpointer requested) -> gboolean {
            *static_cast<bool*>(requested) = true;
            return TRUE;
        },
        &closeRequested, nullptr);
    host().queue().post([&] {
        gtk_window_close(window());
        EXPECT_TRUE(waitFor([&] { return closeRequested; })) << "while the handler runs";
        events.push_back("handler ends");
    });
    g_signal_remove_emission_hook(deleteEvent, hook);
    ASSERT_TRUE(waitFor([&] { return host().windowGone(); }));
    EXPECT_EQ(events[events.size() - 2], "handler ends");
    EXPECT_EQ(events.back(), "unload");
    // Nothing reaches the gone window.
    host().TimerResize().setEnabled(true);
    host().queue().post([&] { events.push_back("late"); });
    EXPECT_EQ(events.back(), "unload");
    EXPECT_FALSE(ticked);
}

std::vector<std::string> queueLog;

TEST(EventQueueTest, AFailureSkipsItsEventAFaultIsReportedAndTheNextEventsRun) {
    const support::LogSink sink = support::logSink();
    support::setLogSink([](const support::LogRecord& r) {
        queueLog.push_back((r.level == support::LogLevel::Debug ? "debug: " : "warning: ") +
                           std::string(r.message));
    });
    // The test main's hook would fail this test: faults are what it provokes here.
    const support::FaultHook hook = support::setFaultHook(
        [](std::string_view what) { queueLog.push_back("hook: " + std::string(what)); });
    gtkui::EventQueue queue;
    std::vector<std::string> ran;
    queue.post([&] {
        queue.post([] { throw support::Failure("the page is gone"); });
        queue.post([] { throw std::logic_error("a broken invariant"); });
        queue.post([] { throw 42; });
        queue.post([&] { ran.push_back("after"); });
        ran.push_back("first");
    });
    support::setFaultHook(hook);
    support::setLogSink(sink);

    EXPECT_EQ(ran, (std::vector<std::string>{"first", "after"}));
    ASSERT_EQ(queueLog.size(), 5u);
    EXPECT_TRUE(queueLog[0].starts_with("debug: skipped a step")) << queueLog[0];
    EXPECT_TRUE(queueLog[0].ends_with(": the page is gone")) << queueLog[0];
    EXPECT_EQ(queueLog[1], "warning: a fault in the client's own code: a broken invariant");
    EXPECT_EQ(queueLog[2], "hook: a broken invariant");
    EXPECT_TRUE(queueLog[3].starts_with("warning: a fault")) << queueLog[3];
    EXPECT_EQ(queueLog[4], "hook: an exception that is not a std::exception");
}

TEST_F(WindowTest, TheTimerTicksWhileEnabled) {
    host().start();
    int ticks = 0;
    platform::Timer& timer = host().TimerResize();
    timer.setHandler([&] {
        if (++ticks == 3) timer.setEnabled(false);
    });
    EXPECT_FALSE(timer.enabled());
    timer.setEnabled(true);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.enabled());
    ASSERT_TRUE(waitFor([&] { return ticks == 3; }));
    EXPECT_FALSE(timer.enabled());
    // No further tick arrives once disabled: a timer of the same interval,
    // started later, ticks three times meanwhile (however slow the machine,
    // the disabled one would have been due first).
    int later = 0;
    g_timeout_add(
        gtkui::GtkTimer::IntervalMs,
        [](gpointer n) -> gboolean {
            return ++*static_cast<int*>(n) < 3 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        &later);
    ASSERT_TRUE(waitFor([&] { return later == 3; }));
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace guitest
