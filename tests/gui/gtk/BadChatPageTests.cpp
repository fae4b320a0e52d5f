// A chat page that fails, stalls, loses its web process or plays tricks on the
// client: the user always keeps a way on, and only real clicks record.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "RoadFixture.h"

namespace guitest {
namespace {

// A script that stalls the page's process once per browsing session.
std::string stallOnce(const std::string& key, int ms) {
    return "if (!sessionStorage.getItem('" + key + "')) { sessionStorage.setItem('" + key +
           "', '1'); const end = Date.now() + " + std::to_string(ms) +
           "; while (Date.now() < end) {} }";
}

struct BadPage {
    const char* name;
    site::PathFailure chatFailure;  // of "/"
    std::string page;               // the chat page ("" for the site's own)
    bool runaway = false;           // its process must be ended: only the failure state will do
};

// A page grows to what a test machine can spare, then stays: a limit that
// did not work would leave it there, with no failure state.
constexpr unsigned kPageMemoryLimitMB = 512;

class BadChatPage : public RoadTest, public ::testing::WithParamInterface<BadPage> {
protected:
    BadChatPage() : RoadTest(kPageMemoryLimitMB) {}
    // A real click on the record button starts a recording.
    bool recordWorks() {
        const int before = h.fakes().recordersStarted;
        click("butRec");
        return waitFor([&] { return h.fakes().recordersStarted == before + 1; });
    }
    bool failureShown() { return !chatInFront() && display("error") == "block"; }
    // Retry asks again, and the chat page that then completes is prepared.
    void retryBringsTheChat() {
        const int asked = site.requestCount("/update/1");
        click("butRetry", startView());
        EXPECT_TRUE(waitFor([&] { return site.requestCount("/update/1") == asked + 1; }));
        ASSERT_TRUE(prepared());
        EXPECT_TRUE(recordWorks());
    }
};

TEST_P(BadChatPage, EndsWithAWorkingRecordOrRetry) {
    const BadPage& bad = GetParam();
    h.fakes().savePath = h.folder().path() + "/video.wmv";
    site.addRoute("/never.png", "");
    site.setPathFailure("/never.png", site::PathFailure::NeverAnswer);
    if (!bad.page.empty()) site.setChatPage(bad.page);
    site.setPathFailure("/", bad.chatFailure);
    start();
    const unsigned limit = (app::Main::ChatPageDeadlineSeconds + 20) * 1000;
    ASSERT_TRUE(waitFor([&] { return (!bad.runaway && chatScreenUp()) || failureShown(); }, limit));
    if (chatScreenUp()) {
        EXPECT_TRUE(recordWorks());
        return;
    }
    site.setPathFailure("/", site::PathFailure::None);
    site.setChatPage(site::SiteServer::defaultChatPage());
    retryBringsTheChat();
}

INSTANTIATE_TEST_SUITE_P(
    Pages, BadChatPage,
    ::testing::Values(
        BadPage{"ServerError", site::PathFailure::ServerError, ""},
        BadPage{"ConnectionReset", site::PathFailure::DropConnection, ""},
        BadPage{"ImageNeverAnswers", site::PathFailure::None,
                "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div>"
                "<img src=\"/never.png\"></body></html>"},
        BadPage{"StallAtLoad", site::PathFailure::None,
                "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div><script>" +
                    stallOnce("load", 20000) + "</script></body></html>"},
        BadPage{"StallAfterTheMarkup", site::PathFailure::None,
                "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div><script>"
                "new MutationObserver((m, o) => { if (document.getElementById('whirligig')) {"
                " o.disconnect(); " +
                    stallOnce("markup", 20000) +
                    " } }).observe(document.body, {childList: true});"
                    "</script></body></html>"},
        BadPage{"EndlessAlertsInTheChat", site::PathFailure::None,
                "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div><script>"
                "new MutationObserver((m, o) => { if (document.getElementById('whirligig')) {"
                " o.disconnect(); setTimeout(() => { while (true) alert('hello'); }, 2000); }"
                " }).observe(document.body, {childList: true});</script></body></html>",
                true},
        BadPage{"GrowsWithoutEnd", site::PathFailure::None,
                "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div><script>"
                "const hoard = []; setInterval(() => { if (hoard.length < " +
                    std::to_string(2 * kPageMemoryLimitMB / 8) +
                    ") hoard.push(new Uint8Array(8 << 20).fill(1)); }, 50);"
                    "</script></body></html>",
                true}),
    [](const auto& info) { return std::string(info.param.name); });

// Placeholder text in the page's Flash parameters stays literal: a page made
// to multiply the client's mark-up toward gigabytes gets one copy of each value.
TEST_F(BadChatPage, PlaceholdersInThePagesValuesAreNotExpanded) {
    std::string amplifier;
    for (int i = 0; i < 1000; ++i) amplifier += "%flashvars%";
    std::string page = "<!DOCTYPE html><html><body><div id=\"chatarea\">chat</div>";
    for (int i = 0; i < 1000; ++i) page += "<object id=\"%movie%" + std::to_string(i) + "\"></object>";
    page += "<object id=\"%movie%\"><param name=\"movie\" value=\"" + amplifier +
            "\"><param name=\"flashvars\" value=\"" + std::string(100000, 'v') + amplifier +
            "\"></object></body></html>";
    site.setChatPage(page);
    start();
    ASSERT_TRUE(prepared());
    const long length = std::atol(chat("document.getElementById('whirligig').outerHTML.length").c_str());
    EXPECT_GT(length, 100000);
    EXPECT_LT(length, 400000);
    EXPECT_EQ(chat("document.getElementById('whirligig').outerHTML.includes('%movie%')"), "true");
}

// The web processes the test process started.
std::set<int> webProcesses() {
    std::set<int> found;
    GDir* proc = g_dir_open("/proc", 0, nullptr);
    for (const char* entry; proc && (entry = g_dir_read_name(proc));) {
        const int pid = std::atoi(entry);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos || line.find("WebKitWebProces") == std::string::npos)
            continue;
        int ppid = 0;
        char state = 0;
        std::sscanf(line.c_str() + close + 2, "%c %d", &state, &ppid);
        if (ppid == getpid()) found.insert(pid);
    }
    if (proc) g_dir_close(proc);
    return found;
}

TEST_F(BadChatPage, AKilledPageProcessOffersRetryWhichBringsTheChatBack) {
    h.fakes().savePath = h.folder().path() + "/video.wmv";
    start();
    ASSERT_TRUE(prepared());
    const std::set<int> processes = webProcesses();
    ASSERT_FALSE(processes.empty());
    for (int pid : processes) kill(pid, SIGKILL);
    ASSERT_TRUE(waitFor([&] { return failureShown(); }));
    EXPECT_EQ(site.requestCount("/update/1"), 1);  // the start sequence did not run again
    retryBringsTheChat();
}

// The site replaces its whole document once the chat screen is up: the page
// itself reports it, and Retry is offered well within the chat deadline.
TEST_F(BadChatPage, ARewrittenDocumentOffersRetryWhichBringsTheChatBack) {
    h.fakes().savePath = h.folder().path() + "/video.wmv";
    start();
    ASSERT_TRUE(prepared());
    chat("document.open(), document.write('rewritten'), document.close(), 1");
    ASSERT_TRUE(waitFor([&] { return failureShown(); }, app::Main::ChatPageDeadlineSeconds * 1000));
    retryBringsTheChat();
}

// Clicks a page script makes, extra caption spans and a forged caption open
// no dialog; one real click opens exactly one.
TEST_F(BadChatPage, OnlyARealClickRecords) {
    start();
    ASSERT_TRUE(prepared());
    chat("(b => { b.click(); b.insertAdjacentHTML('beforeend', "
         "'<span>Record</span><span>Record</span><span>Record</span>');"
         " for (const s of b.querySelectorAll('span')) s.click();"
         " b.querySelector('span').innerText = 'Stop Rec'; b.click();"
         " b.dispatchEvent(new MouseEvent('click', {bubbles: true})); })"
         "(document.getElementById('butRec')), 1");
    // A real pointer event that travels the same way comes after them.
    click("butShare");
    ASSERT_TRUE(waitFor([&] {
        return chat("getComputedStyle(document.getElementById('ShareThis')).display") == "block";
    }));
    EXPECT_EQ(h.fakes().saveDialogs, 0);
    EXPECT_EQ(h.fakes().messageBoxes, 0);

    chat("document.querySelector('#butRec span').innerText = 'Record', 1");
    click("butRec");
    // The handler shows its dialogs in one run: once one is seen, all were.
    EXPECT_TRUE(waitFor([&] { return h.fakes().saveDialogs > 0; }));
    EXPECT_EQ(h.fakes().saveDialogs, 1);
}

}  // namespace
}  // namespace guitest
