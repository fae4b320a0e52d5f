#pragma once
// A Main window on the in-memory platform, with a start page, the client's
// resources and a chat page close to the real ones.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Main.h"
#include "platform/memory/MemoryHost.h"

namespace testing_support {

inline const char* kStartPage = R"(<html><head></head><body>
<div id="loading">Starting</div><div id="noflash" style="display:none">No Flash</div>
<div id="nowebcam">No camera</div><div id="mustupdate">Update</div>
<div id="error"><p id="errorupdate">No update answer</p><p id="errorchat">No chat</p> <span id="butRetry">Retry</span> <span id="butCancel">Cancel</span></div>
<div id="update">New version <span id="butCancelUpdate">Continue</span></div>
<div id="levelcleared">Left</div></body></html>)";

inline const char* kChatPage = R"(<html><head><link rel="stylesheet" href="/site.css">
<style>body{color:red}</style></head><body>
<div id="topbar" class="module-round">Top</div>
<object id="chatmovie"><param name="movie" value="/chat.swf"><param name="flashvars" value="room=1"></object>
</body></html>)";

inline const char* kBody = R"(<div id="content"><span id="butRec" class="button_im"><span>Record</span></span>
<span id="butShare" class="button_im">Share</span><div id="ShareThis"><a id="facebook">f</a></div>
<div id="cam"><object id="%name%"><param name="movie" value="%movie%"><param name="flashvars" value="%flashvars%"></object></div>
<div id="log"></div><div id="chatarea"></div></div>)";

class MainFixture : public ::testing::Test {
protected:
    static support::Settings settings() {
        return {"http://update.test/check/", "http://chat.test/", "http://stats.test/index.html",
                "http://video.test/my_videos_upload"};
    }

    MainFixture() {
        host.textFiles.files["/opt/whirligigcam/HTML/Style.css"] = "body { margin: 0; }";
        host.textFiles.files["/opt/whirligigcam/HTML/Script.js"] = "var client = 1;";
        host.textFiles.files["/opt/whirligigcam/HTML/Body.html"] = kBody;
        main = std::make_unique<app::Main>(host, settings());
    }

    void passChecks() {
        host.flashPlayerImpl.version = "LNX 32,0,0,465";
        host.webcamImpl.present = true;
    }
    std::shared_ptr<memory::MemoryDocument> loadStartPage(const std::string& html = kStartPage) {
        return host.load.load("/opt/whirligigcam/HTML/Dialog.html", html);
    }
    // The start page is loaded and the update read is pending.
    void reachUpdateCheck() {
        passChecks();
        host.formImpl.load();
        loadStartPage();
        ASSERT_EQ(host.asyncReader.pending.size(), 1u);
    }
    std::shared_ptr<memory::MemoryDocument> reachChatPage(const std::string& reply = "update=false",
                                                          const std::string& html = kChatPage) {
        reachUpdateCheck();
        host.asyncReader.finish(reply);
        return host.wb.load("http://chat.test/", html);
    }

    std::string startDisplay(const std::string& id) {
        return host.load.document->byId(id)->style("display");
    }
    std::shared_ptr<memory::MemoryElement> chatElement(const std::string& id) {
        return host.wb.document->byId(id);
    }
    // Whether the window listens to the element's events (a bound button).
    static bool listened(const std::shared_ptr<memory::MemoryElement>& element) {
        return element && element->listeners.size() > 0;
    }

    memory::MemoryHost host;
    std::unique_ptr<app::Main> main;
};

}  // namespace testing_support
