#include "platform/gtk/ChatZoom.h"

#include <gdk/gdkkeysyms.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>

#include "support/Log.h"

namespace gtkui {
namespace {

constexpr std::array<double, 11> Levels{0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0};

std::string percent(double level) { return std::to_string(std::lround(level * 100)) + "%"; }

}  // namespace

double nextZoomLevel(double level, int steps) {
    // The nearest step, then steps from there.
    const auto nearest = std::min_element(Levels.begin(), Levels.end(), [&](double a, double b) {
        return std::abs(a - level) < std::abs(b - level);
    });
    const long index = std::clamp<long>((nearest - Levels.begin()) + steps, 0, Levels.size() - 1);
    return Levels[index];
}

double zoomFromText(const std::string& text, bool& valid) {
    char* end = nullptr;
    const double shown = g_ascii_strtod(text.c_str(), &end);
    const bool number = end != text.c_str();
    while (number && g_ascii_isspace(*end)) ++end;
    valid = number && *end == '\0' && std::isfinite(shown) && shown >= SmallestZoom * 100 &&
            shown <= LargestZoom * 100;
    return valid ? shown / 100 : 1.0;
}

std::string zoomStateFile(const std::string& program) {
    g_autofree gchar* path =
        g_build_filename(g_get_user_state_dir(), program.c_str(), "chat-zoom", nullptr);
    return path;
}

ChatZoom::ChatZoom(GtkWindow* window, WebKitWebView* view, std::string stateFile,
                   std::function<bool()> inFront)
    : window_(GTK_WINDOW(g_object_ref(window))),
      view_(WEBKIT_WEB_VIEW(g_object_ref(view))),
      stateFile_(std::move(stateFile)),
      inFront_(std::move(inFront)) {
    g_autofree gchar* text = nullptr;
    if (g_file_get_contents(stateFile_.c_str(), &text, nullptr, nullptr)) {
        bool valid = false;
        level_ = zoomFromText(text, valid);
        if (!valid)
            support::logWarning(stateFile_ +
                                " holds no zoom from 50 to 200 (percent); the chat "
                                "is shown at 100%");
    }
    webkit_web_view_set_zoom_level(view_, level_);
    if (level_ != 1.0) support::logInfo("the chat is shown at " + percent(level_));
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
    g_signal_connect(view_, "scroll-event", G_CALLBACK(onScroll), this);
}

ChatZoom::~ChatZoom() {
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_unref(view_);
    g_object_unref(window_);
}

void ChatZoom::setLevel(double level) {
    level = std::clamp(level, SmallestZoom, LargestZoom);
    if (level == level_) return;
    level_ = level;
    webkit_web_view_set_zoom_level(view_, level_);
    support::logInfo("chat zoom " + percent(level_));
    remember();
}

void ChatZoom::remember() const {
    g_autofree gchar* folder = g_path_get_dirname(stateFile_.c_str());
    const std::string text = std::to_string(std::lround(level_ * 100)) + "\n";
    g_autoptr(GError) error = nullptr;
    if (g_mkdir_with_parents(folder, 0700) != 0 ||
        !g_file_set_contents_full(stateFile_.c_str(), text.c_str(), -1,
                                  G_FILE_SET_CONTENTS_CONSISTENT, 0600, &error))
        support::logWarning("the chat zoom cannot be kept in " + stateFile_ + ": " +
                            (error ? error->message : g_strerror(errno)));
}

gboolean ChatZoom::onKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<ChatZoom*>(data);
    const auto modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers != GDK_CONTROL_MASK && modifiers != (GDK_CONTROL_MASK | GDK_SHIFT_MASK))
        return FALSE;
    if (!self->inFront_()) return FALSE;
    switch (event->keyval) {
        case GDK_KEY_plus:
        case GDK_KEY_equal:
        case GDK_KEY_KP_Add:
            self->setLevel(nextZoomLevel(self->level_, 1));
            return TRUE;
        case GDK_KEY_minus:
        case GDK_KEY_underscore:
        case GDK_KEY_KP_Subtract:
            self->setLevel(nextZoomLevel(self->level_, -1));
            return TRUE;
        case GDK_KEY_0:
        case GDK_KEY_KP_0:
            if (modifiers != GDK_CONTROL_MASK) return FALSE;
            self->setLevel(1.0);
            return TRUE;
        default:
            return FALSE;
    }
}

gboolean ChatZoom::onScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
    auto* self = static_cast<ChatZoom*>(data);
    if ((event->state & gtk_accelerator_get_default_mod_mask()) != GDK_CONTROL_MASK) return FALSE;
    int steps = 0;
    if (event->direction == GDK_SCROLL_UP) steps = 1;
    if (event->direction == GDK_SCROLL_DOWN) steps = -1;
    if (event->direction == GDK_SCROLL_SMOOTH) {
        // A touchpad's small deltas add up to whole steps.
        self->wheel_ -= event->delta_y;
        steps = static_cast<int>(self->wheel_);
        self->wheel_ -= steps;
    }
    if (steps != 0) self->setLevel(nextZoomLevel(self->level_, steps));
    return TRUE;  // the page does not scroll while Ctrl is held
}

}  // namespace gtkui
