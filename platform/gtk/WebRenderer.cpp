#include "platform/gtk/WebRenderer.h"

#include <glib.h>
#include <webkit2/webkit2.h>

namespace gtkui {
namespace {

constexpr const char* kVariable = "WEBKIT_DISABLE_DMABUF_RENDERER";

// WebKitGTK 2.54's WebCodecs VideoDecoder asks the web process for its GL
// display, which only the DMA-BUF renderer sets up: without it the decoder's
// first configure() aborts the web process, and with it the chat view and
// every call that receives a picture. 2.52 is taken to behave alike.
bool decoderNeedsDmabufRenderer() {
    return webkit_get_major_version() > 2 ||
           (webkit_get_major_version() == 2 && webkit_get_minor_version() >= 52);
}

}  // namespace

std::string chooseWebRenderer() {
    const char* set = g_getenv(kVariable);
    if (!decoderNeedsDmabufRenderer()) {
        // With the DMA-BUF renderer a covered small view (the statistics
        // view) was seen to bleed through the views stacked above it, and the
        // web processes took about a third more memory. The GUI test
        // WindowTest.ViewsStackWithoutReloadingAndTheSmallViewStaysCovered
        // checks the screen's pixels over the covered view.
        g_setenv(kVariable, "1", FALSE);
        return {};
    }
    if (!set || g_strcmp0(set, "0") == 0) return {};
    return std::string(kVariable) + "=" + set +
           " is set: with this WebKitGTK a page's video decoder ends the chat view, so calls "
           "that receive a picture will fail; unset it to make calls";
}

}  // namespace gtkui
