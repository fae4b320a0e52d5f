// The client's local images: the resource scheme serves the HTML folder
// read-only, refuses every way out of it, and its images display on http pages.

#include <gtest/gtest.h>
#include <unistd.h>

#include "TestSupport.h"
#include "demo/SiteServer.h"
#include "platform/gtk/ResourceScheme.h"

namespace guitest {
namespace {

TEST(ResourceScheme, ServesOnlyFilesInsideTheHtmlFolder) {
    TempFolder folder;
    folder.write("HTML/Img/bg.gif", "GIF89a");
    folder.write("HTML/Img/with space.png", "x");
    folder.write("secret.txt", "secret");
    folder.write("HTML2/other.txt", "other");
    const std::string root = folder.path() + "/HTML";
    ASSERT_EQ(symlink((folder.path() + "/secret.txt").c_str(), (root + "/Img/link.txt").c_str()),
              0);
    ASSERT_EQ(symlink((root + "/Img/bg.gif").c_str(), (root + "/inside.gif").c_str()), 0);

    struct Case {
        const char* path;
        bool served;
    } cases[] = {
        {"/Img/bg.gif", true},
        {"/Img/with%20space.png", true},
        {"/inside.gif", true},  // a link that stays inside
        {"/../secret.txt", false},
        {"/Img/../../secret.txt", false},
        {"/Img/%2e%2e/%2e%2e/secret.txt", false},
        {"/Img/..%2F..%2Fsecret.txt", false},
        {"/Img%5c..%5c..%5csecret.txt", false},
        {"/../HTML2/other.txt", false},
        {"/Img/link.txt", false},  // a link that leads out
        {"/Img", false},           // a folder
        {"/Img/missing.gif", false},
        {"/Img/bg.gif%00.txt", false},
        {"/Img/%zz", false},
    };
    for (const Case& c : cases) {
        auto file = gtkui::resolveResource(root, c.path);
        EXPECT_EQ(file.has_value(), c.served) << c.path;
        if (file) {
            EXPECT_EQ(file->rfind(root, 0), 0u) << c.path;
        }
    }
}

TEST(ResourceScheme, ImagesDisplayOnAnHttpPageAndEscapesStayBroken) {
    Harness h;
    h.folder().write("HTML/Img/red.png", pngImage(8, 6, 0xff0000));
    h.folder().write("secret.png", pngImage(8, 6, 0x00ff00));
    platform::App& app = h.host().app();
    const std::string good = app.resourceUrl("HTML/Img/red.png");
    EXPECT_EQ(good, "whirligig-res:///Img/red.png");
    EXPECT_EQ(app.resourcePath("HTML/Img/red.png"), h.folder().path() + "/HTML/Img/red.png");

    site::SiteServer site;
    site.setLogging(false);
    site.addRoute(
        "/",
        "<!DOCTYPE html><html><body style=\"margin:0\">"
        "<img id=good src=\"" +
            good +
            "\">"
            "<img id=bad src=\"whirligig-res:///%2e%2e/secret.png\">"
            "<div id=bg "
            "style=\"position:absolute;left:0;top:100px;width:50px;height:50px;background:url(" +
            good + ") repeat-x #262626\"></div></body></html>");
    h.host().start();
    platform::BrowserView& wbload = h.host().wbload();
    ASSERT_TRUE(h.load(wbload, site.address("/")));
    WebKitWebView* view = h.webView(wbload);
    ASSERT_TRUE(
        waitFor([&] { return pageEval(view, "[good, bad].every(i => i.complete)") == "true"; }));
    EXPECT_EQ(pageEval(view, "document.getElementById('good').naturalWidth"), "8");
    EXPECT_EQ(pageEval(view, "document.getElementById('bad').naturalWidth"), "0");
    // The repeated background really paints: red across the top rows, then #262626.
    GtkWindow* window = h.host().gtkForm().window();
    EXPECT_TRUE(waitFor([&] { return windowPixel(window, 20, 103) == 0xff0000; }));
    EXPECT_EQ(windowPixel(window, 20, 130), 0x262626u);
}

}  // namespace
}  // namespace guitest
