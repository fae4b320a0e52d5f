#pragma once
// A line in the chat screen's top bar, beside the recording time, that tells
// the person what the client does in the background (a download and its
// progress). Written from the client's own script world into the chat
// page's top bar; empty (hidden) while there is nothing to tell. A page
// without the top bar shows nothing, and the log says so once.

#include <webkit2/webkit2.h>

#include <string>

namespace gtkui {

class StatusLine {
public:
    StatusLine() = default;
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // The chat view, whose page shows the line.
    void showIn(WebKitWebView* view) { view_ = view; }
    // Shows text until the next call.
    void show(const std::string& text);
    // Shows text for a few seconds, then empties the line.
    void showBriefly(const std::string& text);
    // What the line shows now ("" when nothing).
    const std::string& text() const { return text_; }

private:
    void cancelHiding();
    void render();

    WebKitWebView* view_ = nullptr;
    std::string text_;
    guint hideTimer_ = 0;
};

}  // namespace gtkui
