#include "platform/gtk/StatusLine.h"

#include <json-glib/json-glib.h>

#include "platform/gtk/BridgeChannels.h"
#include "support/Log.h"

namespace gtkui {
namespace {

constexpr guint ShownBrieflyMs = 6000;
bool toldNoTopBar = false;

// Makes the line under the recording time at its first use; answers whether
// the page has the top bar.
constexpr const char* Render =
    "(text => { const bar = document.getElementById('topbar'); if (!bar) return false;"
    " let line = document.getElementById('wg-download-status');"
    " if (!line) { line = document.createElement('div'); line.id = 'wg-download-status';"
    " line.style.cssText = 'position: absolute; left: 264px; top: 56px; right: 12px;"
    " overflow: hidden; white-space: nowrap; text-overflow: ellipsis; color: #e8e8e8;"
    " font-size: 12px; pointer-events: none';"
    " bar.appendChild(line); }"
    " line.textContent = text; return true; })(";

std::string jsonString(const std::string& text) {
    g_autoptr(JsonNode) node = json_node_new(JSON_NODE_VALUE);
    json_node_set_string(node, text.c_str());
    g_autofree gchar* json = json_to_string(node, FALSE);
    return json;
}

}  // namespace

StatusLine::~StatusLine() { cancelHiding(); }

void StatusLine::cancelHiding() {
    if (hideTimer_) g_source_remove(hideTimer_);
    hideTimer_ = 0;
}

void StatusLine::show(const std::string& text) {
    cancelHiding();
    text_ = text;
    render();
}

void StatusLine::showBriefly(const std::string& text) {
    show(text);
    hideTimer_ = g_timeout_add(
        ShownBrieflyMs,
        +[](gpointer data) -> gboolean {
            auto* self = static_cast<StatusLine*>(data);
            self->hideTimer_ = 0;
            self->text_.clear();
            self->render();
            return G_SOURCE_REMOVE;
        },
        this);
}

void StatusLine::render() {
    if (!view_) return;
    const std::string script = Render + jsonString(text_) + ")";
    // The answer comes after the line may be gone: it only says whether there was a top bar.
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), -1, ScriptWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
            g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                WEBKIT_WEB_VIEW(source), result, nullptr);
            if (value && jsc_value_is_boolean(value) && !jsc_value_to_boolean(value) &&
                !toldNoTopBar) {
                toldNoTopBar = true;
                support::logInfo(
                    "the chat page has no top bar: download progress goes to the "
                    "log and the desktop's notices only");
            }
        },
        nullptr);
}

}  // namespace gtkui
