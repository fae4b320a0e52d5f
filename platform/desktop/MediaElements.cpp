#include "platform/desktop/MediaElements.h"

#include <gio/gio.h>

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

std::string describeMissing(const std::vector<MediaElement>& missing) {
    if (missing.empty()) return "media: the GStreamer elements the chat needs are all installed";
    std::string text = "media: GStreamer elements missing:";
    for (const MediaElement& element : missing)
        text += std::string(" ") + element.name + " (" + element.use + "; package " +
                element.package + ")" + (&element == &missing.back() ? "" : ",");
    return text + "; the chat does without them";
}

std::vector<MediaElement> missingAmong(const std::string& namesNotFound) {
    std::vector<MediaElement> missing;
    g_auto(GStrv) lines = g_strsplit(namesNotFound.c_str(), "\n", -1);
    for (const MediaElement& element : neededMediaElements())
        if (g_strv_contains(lines, element.name)) missing.push_back(element);
    return missing;
}

void logMissingMediaElementsSoon(const std::string& helper) {
    // The look runs in a process of its own: a first look scans the plugins
    // with a spawned scanner, and a spawn from a second thread of this
    // process could hand the pipe it waits on to a web process that the
    // window starts at the same moment, so that the look never ended.
    std::vector<const char*> argv{helper.c_str(), "--missing-elements"};
    for (const MediaElement& element : neededMediaElements()) argv.push_back(element.name);
    argv.push_back(nullptr);
    g_autoptr(GError) error = nullptr;
    GSubprocess* look = g_subprocess_newv(argv.data(), G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error);
    if (!look) {
        support::logWarning(std::string("media: cannot look for GStreamer's elements: ") +
                            error->message);
        return;
    }
    g_subprocess_communicate_utf8_async(
        look, nullptr, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer) {
            auto* look = G_SUBPROCESS(source);
            g_autofree char* out = nullptr;
            g_autoptr(GError) error = nullptr;
            if (!g_subprocess_communicate_utf8_finish(look, result, &out, nullptr, &error) ||
                !g_subprocess_get_if_exited(look) || g_subprocess_get_exit_status(look) != 0) {
                support::logWarning(
                    std::string("media: the look for GStreamer's elements failed: ") +
                    (error ? error->message : "its process did not end well"));
            } else if (const auto missing = missingAmong(out ? out : ""); missing.empty()) {
                support::logInfo(describeMissing(missing));
            } else {
                support::logWarning(describeMissing(missing));
            }
            g_object_unref(look);
        },
        nullptr);
}

}  // namespace desktop
