#include "RecordingProgram.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/desktop/GtkMessageBox.h"
#include "platform/desktop/GtkSaveDialog.h"
#include "platform/recorder/X11RecorderFactory.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace rectest {

namespace {

std::string htmlFolder() {
    if (const char* folder = std::getenv("WHIRLIGIG_TEST_HTML")) return folder;
    return WHIRLIGIG_SOURCE_HTML;
}

// The real message box, counted.
class CountedMessageBox : public platform::MessageBoxService {
public:
    CountedMessageBox(GtkWindow* parent, std::shared_ptr<Seen> seen)
        : real_(parent), seen_(std::move(seen)) {}
    platform::MessageAnswer ask(const std::string& text, platform::MessageButtons buttons,
                                bool warning, const std::string& title) override {
        ++seen_->messageBoxes;
        return real_.ask(text, buttons, warning, title);
    }

private:
    desktop::GtkMessageBox real_;
    std::shared_ptr<Seen> seen_;
};

// The real X11 recorders of the window, counted while they live.
class CountedRecorders : public platform::RecorderFactory {
public:
    CountedRecorders(GtkWindow* window, std::shared_ptr<Seen> seen)
        : real_({}, [window] { return GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(window))); }),
          seen_(std::move(seen)) {}
    std::shared_ptr<platform::ScreenRecorder> create(const platform::RecordingRequest& request,
                                                     std::function<void()> failed) override {
        std::shared_ptr<platform::ScreenRecorder> made = real_.create(request, std::move(failed));
        ++seen_->recordersCreated;
        ++seen_->recordersAlive;
        auto seen = seen_;
        return {made.get(), [made, seen](platform::ScreenRecorder*) mutable {
                    made.reset();
                    --seen->recordersAlive;
                }};
    }

private:
    recorder::X11RecorderFactory real_;
    std::shared_ptr<Seen> seen_;
};

}  // namespace

double now() { return g_get_monotonic_time() / 1e6; }

class Program::Watch {
public:
    Watch(GType type, std::shared_ptr<DialogAnswer> answer, std::function<bool(GtkDialog*)> step)
        : type_(type), answer_(std::move(answer)), step_(std::move(step)) {
        source_ = g_timeout_add(50, tick, this);
    }
    ~Watch() {
        if (source_) g_source_remove(source_);
    }

private:
    static gboolean tick(gpointer data) {
        auto* self = static_cast<Watch*>(data);
        GtkWidget* shown = nullptr;
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* item = toplevels; item && !shown; item = item->next) {
            auto* widget = GTK_WIDGET(item->data);
            if (G_TYPE_CHECK_INSTANCE_TYPE(widget, self->type_) && gtk_widget_get_mapped(widget))
                shown = widget;
        }
        g_list_free(toplevels);
        if (!shown) {
            self->last_ = nullptr;
            return G_SOURCE_CONTINUE;
        }
        if (shown != self->last_) {
            self->last_ = shown;
            self->done_ = false;
            self->ticksLeft_ = 1200;
            ++self->answer_->shown;
        }
        if (!self->done_) self->done_ = self->step_(GTK_DIALOG(shown));
        if (--self->ticksLeft_ == 0) {
            ADD_FAILURE() << "a dialog stayed open";
            gtk_dialog_response(GTK_DIALOG(shown), GTK_RESPONSE_DELETE_EVENT);
        }
        return G_SOURCE_CONTINUE;
    }

    GType type_;
    std::shared_ptr<DialogAnswer> answer_;
    std::function<bool(GtkDialog*)> step_;
    GtkWidget* last_ = nullptr;
    bool done_ = false;
    int ticksLeft_ = 0;
    guint source_ = 0;
};

namespace {

// Runs then once the dialog really responds with response: the file chooser
// holds back an answer it finds wrong, and the handler that runs the dialog
// goes on only after this. Notes the time and, through the event queue, when
// that handler has returned.
void onResponse(GtkDialog* dialog, GtkResponseType response, gtkui::EventQueue& queue,
                std::shared_ptr<DialogAnswer> answer, std::function<void()> then) {
    struct Pending {
        GtkResponseType response;
        gtkui::EventQueue& queue;
        std::shared_ptr<DialogAnswer> answer;
        std::function<void()> then;
    };
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog*, gint id, gpointer data) {
            auto* p = static_cast<Pending*>(data);
            if (id != p->response) return;
            if (p->then) p->then();
            p->answer->at = now();
            p->queue.post([answer = p->answer] { answer->handlerReturned = true; });
        }),
        new Pending{response, queue, std::move(answer), std::move(then)},
        +[](gpointer data, GClosure*) { delete static_cast<Pending*>(data); }, GConnectFlags(0));
}

}  // namespace

Program::Program(bool withPlayer) {
    site.setLogging(false);
    std::string copy = "cp -r '" + htmlFolder() + "/.' '" + folder.path() + "/HTML/'";
    if (std::system(copy.c_str()) != 0) throw std::runtime_error("cannot copy " + htmlFolder());
    hasPlayer = withPlayer && g_file_test(WHIRLIGIG_PLAYER_FOLDER "/ruffle.js", G_FILE_TEST_EXISTS);
    if (hasPlayer) {
        std::string link =
            "ln -s '" WHIRLIGIG_PLAYER_FOLDER "' '" + folder.path() + "/flashplayer'";
        if (std::system(link.c_str()) != 0) throw std::runtime_error("cannot link the player");
    }
    g_mkdir(videos().c_str(), 0700);

    gtkui::HostOptions options;
    options.appFolder = folder.path();
    options.ephemeral = true;
    host = std::make_unique<gtkui::GtkHost>(
        [fakes = fakes, seen = seen](GtkWindow* window) {
            gtkui::HostServices services = guitest::makeServices(fakes);
            services.saveDialog = std::make_unique<desktop::GtkSaveDialog>(window);
            services.messageBox = std::make_unique<CountedMessageBox>(window, seen);
            services.recorders = std::make_unique<CountedRecorders>(window, seen);
            return services;
        },
        options);
    main = std::make_unique<app::Main>(
        *host, support::Settings{site.address("/update/"), site.address("/"),
                                 site.address("/stats/index.html"), uploadPage()});
    orderlyEnd = std::make_unique<gtkui::OrderlyEnd>(*host);
}

Program::~Program() {
    watches_.clear();
    orderlyEnd.reset();
    main.reset();
    host.reset();
}

bool Program::chatInFront() {
    GtkWidget* view = GTK_WIDGET(chatView());
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(view)));
    bool front = g_list_last(children)->data == view;
    g_list_free(children);
    return front;
}

bool Program::startAndPrepare() {
    host->start();
    // Prepared, in front, and the window has taken the size the form last asked for.
    return guitest::waitFor(
        [&] {
            const platform::WindowGeometry g = host->gtkForm().geometry();
            return chatInFront() && !host->TimerResize().enabled() &&
                   clientSize() == std::pair<int, int>{g.clientWidth, g.clientHeight} &&
                   chat("!!document.querySelector('#whirligig #butRec')") == "true";
        },
        60000);
}

GdkPixbuf* Program::clientPixels() {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(host->gtkForm().window()));
    return gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                      gdk_window_get_height(window));
}

std::string Program::chat(const std::string& script) {
    return guitest::pageEval(chatView(), script);
}

std::string Program::caption() {
    return chat("document.querySelector('#whirligig #butRecName').innerText");
}

GdkRectangle Program::inClientArea(const std::string& selector) {
    std::string box = chat(
        "(r => [r.left, r.top, r.width, r.height].map(Math.round).join(','))"
        "(document.querySelector('" +
        selector + "').getBoundingClientRect())");
    GdkRectangle r{};
    if (std::sscanf(box.c_str(), "%d,%d,%d,%d", &r.x, &r.y, &r.width, &r.height) != 4)
        ADD_FAILURE() << selector << ": " << box;
    GtkWidget* view = GTK_WIDGET(chatView());
    int vx = 0, vy = 0;
    gtk_widget_translate_coordinates(view, gtk_widget_get_toplevel(view), 0, 0, &vx, &vy);
    const int scale = host->gtkForm().scale();
    return {(r.x + vx) * scale, (r.y + vy) * scale, r.width * scale, r.height * scale};
}

std::pair<int, int> Program::clientSize() {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(host->gtkForm().window()));
    const int scale = host->gtkForm().scale();
    return {gdk_window_get_width(window) * scale, gdk_window_get_height(window) * scale};
}

void Program::pointAt(const std::string& id, bool click) {
    GdkRectangle r = inClientArea("#whirligig #" + id);
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(host->gtkForm().window())), &ox, &oy);
    const int scale = host->gtkForm().scale();
    // XTest on a connection of its own: Xwayland without an input seat dies
    // of XWarpPointer (which xdotool's mousemove uses).
    Display* input = XOpenDisplay(nullptr);
    if (!input) {
        ADD_FAILURE() << "no X display for the pointer";
        return;
    }
    XTestFakeMotionEvent(input, -1, ox * scale + r.x + r.width / 2, oy * scale + r.y + r.height / 2,
                         CurrentTime);
    if (click) {
        XTestFakeButtonEvent(input, 1, True, CurrentTime);
        XTestFakeButtonEvent(input, 1, False, CurrentTime);
    }
    XSync(input, False);
    XCloseDisplay(input);
}

void Program::closeByWindowManager() {
    // What a window manager sends when its close button is clicked (weston's
    // does not take the _NET_CLOSE_WINDOW request).
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(host->gtkForm().window()));
    Display* display = GDK_WINDOW_XDISPLAY(window);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = GDK_WINDOW_XID(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XFlush(display);
}

void Program::watch(GType type, std::shared_ptr<DialogAnswer> answer,
                    std::function<bool(GtkDialog*)> step) {
    watches_.push_back(std::make_unique<Watch>(type, std::move(answer), std::move(step)));
}

std::shared_ptr<DialogAnswer> Program::answerSaveDialog(const std::string& folder,
                                                        const std::string& name,
                                                        GtkResponseType response,
                                                        std::function<void()> before) {
    auto answer = std::make_shared<DialogAnswer>();
    auto& queue = host->queue();
    bool named = false;
    watch(GTK_TYPE_FILE_CHOOSER_DIALOG, answer, [=, &queue](GtkDialog* dialog) mutable {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        if (!named) {
            onResponse(dialog, response, queue, answer, before);
            gtk_file_chooser_set_current_folder(chooser, folder.c_str());
            gtk_file_chooser_set_current_name(chooser, name.c_str());
            named = true;
        }
        // The chooser takes a new folder asynchronously.
        g_autofree gchar* chosen = gtk_file_chooser_get_filename(chooser);
        if (!chosen || chosen != folder + "/" + name) return false;
        gtk_dialog_response(dialog, response);
        return true;
    });
    return answer;
}

std::shared_ptr<DialogAnswer> Program::answerMessageBox(GtkResponseType response) {
    auto answer = std::make_shared<DialogAnswer>();
    auto& queue = host->queue();
    watch(GTK_TYPE_MESSAGE_DIALOG, answer, [=, &queue](GtkDialog* dialog) {
        g_autofree gchar* text = nullptr;
        g_object_get(dialog, "text", &text, nullptr);
        answer->text = text ? text : "";
        const gchar* title = gtk_window_get_title(GTK_WINDOW(dialog));
        answer->title = title ? title : "";
        onResponse(dialog, response, queue, answer, {});
        gtk_dialog_response(dialog, response);
        return true;
    });
    return answer;
}

}  // namespace rectest
