#include "platform/desktop/MediaElements.h"

#include <gst/gst.h>

#include "support/Log.h"

namespace desktop {

const std::vector<MediaElement>& neededMediaElements() {
    static const std::vector<MediaElement> elements{
        {"v4l2src", "the camera", "gstreamer1.0-plugins-good"},
        {"pulsesrc", "the microphone", "gstreamer1.0-plugins-good"},
        {"autoaudiosink", "the chat's sound", "gstreamer1.0-plugins-good"},
        {"pulsesink", "the chat's sound", "gstreamer1.0-plugins-good"},
        {"vp8enc", "sending VP8 video", "gstreamer1.0-plugins-good"},
        {"vp8dec", "receiving VP8 video", "gstreamer1.0-plugins-good"},
        {"opusenc", "sending Opus sound", "gstreamer1.0-plugins-base"},
        {"opusdec", "receiving Opus sound", "gstreamer1.0-plugins-base"},
        {"audioconvert", "the chat's sound", "gstreamer1.0-plugins-base"},
        {"audioresample", "the chat's sound", "gstreamer1.0-plugins-base"},
        {"videoconvert", "the camera and video", "gstreamer1.0-plugins-base"},
        {"playbin", "playing video and sound", "gstreamer1.0-plugins-base"},
        {"avdec_h264", "receiving H.264 video", "gstreamer1.0-libav"},
    };
    return elements;
}

std::vector<MediaElement> missingMediaElements() {
    g_autoptr(GError) error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        platform::logDebug(std::string("media: GStreamer cannot start: ") +
                           (error ? error->message : "no reason given"));
        return neededMediaElements();
    }
    std::vector<MediaElement> missing;
    for (const MediaElement& element : neededMediaElements()) {
        GstElementFactory* factory = gst_element_factory_find(element.name);
        if (factory)
            gst_object_unref(factory);
        else
            missing.push_back(element);
    }
    return missing;
}

std::string describeMissing(const std::vector<MediaElement>& missing) {
    if (missing.empty()) return "media: the GStreamer elements the chat needs are all installed";
    std::string text = "media: GStreamer elements missing:";
    for (const MediaElement& element : missing)
        text += std::string(" ") + element.name + " (" + element.use + "; package " +
                element.package + ")" + (&element == &missing.back() ? "" : ",");
    return text + "; the chat does without them";
}

void logMissingMediaElementsSoon() {
    GThread* thread = g_thread_new(
        "media check",
        [](gpointer) -> gpointer {
            const auto missing = missingMediaElements();
            if (missing.empty())
                platform::logInfo(describeMissing(missing));
            else
                platform::logWarning(describeMissing(missing));
            return nullptr;
        },
        nullptr);
    g_thread_unref(thread);  // it ends by itself
}

}  // namespace desktop
