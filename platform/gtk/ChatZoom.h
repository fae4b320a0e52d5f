#pragma once
// The chat view's zoom: Ctrl+plus, Ctrl+minus, Ctrl+0 and Ctrl+wheel, from
// 50% to 200%, remembered from one start to the next in a file of the
// program's XDG state folder. The page lays itself out in its own pixels, so
// it follows the window at every level; the window and its recording area do
// not change with it.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace gtkui {

inline constexpr double SmallestZoom = 0.5;
inline constexpr double LargestZoom = 2.0;

// The next level up (steps > 0) or down from level, in the usual browser
// steps (50%, 67%, 75%, 80%, 90%, 100%, 110%, 125%, 150%, 175%, 200%).
double nextZoomLevel(double level, int steps);
// A remembered level as read back: a number of percent from 50 to 200 (then
// valid), else 1 (100%).
double zoomFromText(const std::string& text, bool& valid);

// $XDG_STATE_HOME/<program>/chat-zoom
std::string zoomStateFile(const std::string& program);

class ChatZoom {
public:
    // window: where the keys are pressed; inFront: whether the chat view is the one shown.
    ChatZoom(GtkWindow* window, WebKitWebView* view, std::string stateFile,
             std::function<bool()> inFront);
    ~ChatZoom();
    ChatZoom(const ChatZoom&) = delete;
    ChatZoom& operator=(const ChatZoom&) = delete;

    double level() const { return level_; }
    // Sets the level (kept within 50% to 200%) and remembers it.
    void setLevel(double level);

private:
    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
    void remember() const;

    // Held: the window is destroyed when it closes, before the zoom goes.
    GtkWindow* window_;
    WebKitWebView* view_;
    std::string stateFile_;
    std::function<bool()> inFront_;
    double level_ = 1.0;
    double wheel_ = 0;  // smooth scrolling's sum since the last step
};

}  // namespace gtkui
