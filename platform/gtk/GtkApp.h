#pragma once
// The application: its folder (the executable's), title, resource paths and
// the addresses under which pages reach the client's local images.

#include <string>

#include "platform/Window.h"

namespace gtkui {

// The custom URI scheme that serves <application folder>/HTML/ read-only.
inline constexpr const char* ResourceScheme = "whirligig-res";
inline constexpr const char* WindowTitle = "Whirligigcam Desktop";
// The application's own title, the caption of its message boxes.
inline constexpr const char* ApplicationTitle = "Whirligigcam";

// The folder of the running executable, without a trailing '/'.
std::string executableFolder();

class GtkApp : public platform::App {
public:
    explicit GtkApp(std::string folder = executableFolder()) : folder_(std::move(folder)) {}
    std::string Path() override { return folder_; }
    std::string Title() override { return ApplicationTitle; }
    std::string resourcePath(const std::string& relative) override;
    // "HTML/Img/bg.gif" -> "whirligig-res:///Img/bg.gif" (percent-encoded).
    std::string resourceUrl(const std::string& relative) override;

private:
    std::string folder_;
};

}  // namespace gtkui
