#include "platform/gtk/GtkHost.h"

#include <stdexcept>

#include "platform/Log.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/QueuedReader.h"
#include "platform/gtk/QueuedRecorders.h"
#include "platform/gtk/ResourceScheme.h"

namespace gtkui {

GtkHost::GtkHost(const ServiceFactory& services, HostOptions options) {
    app_ = std::make_unique<GtkApp>(options.appFolder);
    if (options.ephemeral) {
        context_ = webkit_web_context_new_ephemeral();
    } else {
        context_ = webkit_web_context_new();
    }
    const std::string playerRoot = options.appFolder + "/" + PlayerFolder;
    registerResourceScheme(context_, options.appFolder + "/HTML", playerRoot);
    setPreferredLanguages(context_);

    form_ = std::make_unique<GtkForm>(queue_);
    screen_ = std::make_unique<GtkScreen>(*form_);
    windows_ = std::make_unique<GtkWindowSystem>(*form_, options.appFolder);
    timer_ = std::make_unique<GtkTimer>(queue_);
    deadline_ = std::make_unique<GtkTimer>(queue_, 1000);
    // One web process for the three views; wbload over WB over the small wbstat.
    // The start view comes first and alone. WB and wbstat are made at their
    // first use (the chat page's request, the statistics page's): making a
    // view pauses the user-interface thread for tens of milliseconds, which
    // would show as a stutter of the start page's animation while it waits
    // for the update check.
    wbload_ = std::make_unique<GtkBrowserView>(context_, nullptr, queue_, health_, *form_);
    WB_ = std::make_unique<GtkBrowserView>(queue_, health_, *form_,
                                           [this] { createRelatedView(*WB_); });
    wbstat_ = std::make_unique<GtkBrowserView>(queue_, health_, *form_,
                                               [this] { createRelatedView(*wbstat_); });
    // Only the chat view plays Flash; the start and statistics pages are the client's.
    chatViewPlayer_ = havePlayer(playerRoot);
    form_->addOverlayView(wbload_->widget());
    // wbstat's place in the window's design, in twips (57 x 41 pixels at 96 dpi
    // near the bottom): the layout never moves it, and the other views cover it.
    wbstat_->Move(4440, 7560, 855, 615);

    services_ = services(form_->window());
    if (!services_.objects || !services_.capture || !services_.reader || !services_.codePage ||
        !services_.files || !services_.saveDialog || !services_.messageBox || !services_.shell ||
        !services_.recorders)
        throw std::runtime_error("a system service is missing");
    reader_ = std::make_unique<QueuedReader>(*services_.reader, queue_);
    recorders_ = std::make_unique<QueuedRecorders>(*services_.recorders, queue_);

    // New windows that pages ask for open where the upload page does: with the
    // desktop's default handler for the address.
    wbload_->setWindowOpener([this](const std::string& address) { openElsewhere(address); });
    // The start screen is the client's own page: no browser menu (Back, Reload...) over it.
    g_signal_connect(wbload_->webView(), "context-menu",
                     G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                    WebKitHitTestResult*, gpointer) -> gboolean { return TRUE; }),
                     nullptr);

    // Queued page writes go out as soon as the handler that made them returns,
    // and what the handler's reads recorded of the pages ends with it.
    queue_->setAfterEvent([this] {
        for (GtkBrowserView* view : {WB_.get(), wbload_.get(), wbstat_.get()}) {
            view->bridge().flush();
            view->bridge().endRecord();
        }
    });
    form_->setOnGone([this] { onWindowGone(); });
    form_->setOnCloseRequest([this](bool closing) { health_->setClosing(closing); });
}

void GtkHost::createRelatedView(GtkBrowserView& view) {
    if (view.created() || form_->gone()) return;
    view.createView(context_, wbload_.get());
    if (!view.created()) return;
    view.showSitePagesOnly();
    if (&view == WB_.get()) {
        form_->addOverlayViewBehind(view.widget());
        if (chatViewPlayer_) addChatViewPlayer(view.userContent());
        // The chat view's page size drives the layout of its elements.
        view.bridge().setOnViewport(
            [form = form_.get()](int width, int height) { form->pageViewport(width, height); });
    } else {
        form_->addFixedView(view.widget());
    }
    view.setWindowOpener([this](const std::string& address) { openElsewhere(address); });
    view.placePending();
}

GtkHost::~GtkHost() {
    queue_->close();
    queue_->setAfterEvent(nullptr);
    timer_->setEnabled(false);
    deadline_->setEnabled(false);
    // The services go before the window they may refer to.
    reader_.reset();
    recorders_.reset();
    // Destroyed as a whole, in the reverse order of their declaration (the
    // text files use the code page).
    { HostServices gone = std::move(services_); }
    wbload_.reset();
    WB_.reset();
    wbstat_.reset();
    form_.reset();
    g_object_unref(context_);
}

void GtkHost::onWindowGone() {
    timer_->setEnabled(false);
    deadline_->setEnabled(false);
    for (GtkBrowserView* view : {WB_.get(), wbload_.get(), wbstat_.get()}) {
        const bool created = view->created();
        view->detach();
        if (created) webkit_web_view_stop_loading(view->webView());
    }
    if (loop_) g_main_loop_quit(loop_);
}

void GtkHost::openElsewhere(const std::string& address) {
    try {
        services_.shell->openWithDefaultHandler(address, "");
    } catch (const platform::Failure& failure) {
        platform::logWarning("cannot open " + address + ": " + failure.what());
    }
}

void GtkHost::finishRecordings() {
    if (recorders_) recorders_->stopAll();
}

platform::RecorderFactory& GtkHost::recorders() { return *recorders_; }

void GtkHost::start() { form_->show(); }

void GtkHost::run() {
    start();
    if (form_->gone()) return;
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
    g_main_loop_unref(loop_);
    loop_ = nullptr;
}

}  // namespace gtkui
