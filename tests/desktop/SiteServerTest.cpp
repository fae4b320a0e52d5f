#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "demo/SiteServer.h"
#include "platform/desktop/SoupAsyncReader.h"
#include "tests/desktop/MainLoopWait.h"

using testing_support::waitUntil;

namespace {

struct Reply {
    guint status = 0;
    std::string contentType;
    std::string body;
};

// One HTTP exchange with the server, run on the default main context.
Reply fetch(const std::string& address, const std::string& method = "GET",
            const std::string& body = "") {
    g_autoptr(SoupSession) session = soup_session_new();
    g_autoptr(SoupMessage) msg = soup_message_new(method.c_str(), address.c_str());
    if (!body.empty()) {
        g_autoptr(GBytes) bytes = g_bytes_new(body.data(), body.size());
        soup_message_set_request_body_from_bytes(msg, "application/octet-stream", bytes);
    }
    std::optional<GBytes*> received;
    soup_session_send_and_read_async(
        session, msg, G_PRIORITY_DEFAULT, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            *static_cast<std::optional<GBytes*>*>(data) =
                soup_session_send_and_read_finish(SOUP_SESSION(source), result, nullptr);
        },
        &received);
    EXPECT_TRUE(waitUntil([&] { return received.has_value(); }));
    Reply reply{soup_message_get_status(msg), "", ""};
    SoupMessageHeaders* headers = soup_message_get_response_headers(msg);
    if (const char* type = soup_message_headers_get_content_type(headers, nullptr)) {
        reply.contentType = type;
    }
    g_autoptr(GBytes) bytes = received.value_or(nullptr);
    if (bytes) {
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        if (size > 0) reply.body.assign(data, size);
    }
    return reply;
}

class SiteServerTest : public ::testing::Test {
protected:
    SiteServerTest() { server.setLogging(false); }

    Reply get(const std::string& path) { return fetch(server.address(path)); }

    site::SiteServer server;
};

TEST_F(SiteServerTest, ServesTheSite) {
    struct Page {
        const char* path;
        const char* contentType;
        std::vector<std::string> contains;
    };
    const std::vector<Page> pages = {
        {"/",
         "text/html",
         {"<head>", "<link rel=\"stylesheet\" type=\"text/css\" href=\"/site.css\">", "<style",
          "<object id=\"chatmovie\"", "<param name=\"movie\" value=\"/flash/chat.swf\">",
          "<param name=\"flashvars\" value=\"user=Whirly&amp;room=lobby&amp;lang=en\">", "<embed ",
          "<div id=\"topbar\">", "<div id=\"load_msg\">", "class=\"module-round\"",
          "class=\"module-round2\"", "class=\"module-round3\"", "class=\"module-round4\"",
          "<span class=\"button_im\"", "<iframe id=\"adframe\" src=\"/ad.html\""}},
        {"/site.css", "text/css", {"#topbar"}},
        {"/ad.html", "text/html", {"<body"}},
        {"/flash/chat.swf", "application/x-shockwave-flash", {"FWS"}},
        {"/update/1", "text/plain", {"update=false"}},
        {"/my_videos_upload", "text/html", {"<form method=\"post\""}},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.path);
        const Reply reply = get(page.path);
        EXPECT_EQ(reply.status, SOUP_STATUS_OK);
        EXPECT_EQ(reply.contentType, page.contentType);
        for (const auto& text : page.contains)
            EXPECT_NE(reply.body.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(get("/update/1").body, "update=false");
    {
        // The movie's length field, header and tag records add up to the file,
        // which ends with the End tag.
        const std::string swf = get("/flash/chat.swf").body;
        auto byte = [&](std::size_t at) { return static_cast<unsigned char>(swf.at(at)); };
        auto u16 = [&](std::size_t at) { return byte(at) | byte(at + 1) << 8; };
        ASSERT_GT(swf.size(), 21u);
        EXPECT_EQ(u16(4) | u16(6) << 16, static_cast<int>(swf.size()));
        std::size_t at = 8 + (5 + 4 * (byte(8) >> 3) + 7) / 8 + 4;  // frame rect, rate, count
        int tags = 0, last = -1;
        while (at + 2 <= swf.size()) {
            const int header = u16(at);
            std::size_t length = header & 0x3f;
            at += 2;
            if (length == 0x3f) {
                length = u16(at) | u16(at + 2) << 16;
                at += 4;
            }
            at += length;
            last = header >> 6;
            ++tags;
        }
        EXPECT_EQ(at, swf.size());
        EXPECT_EQ(last, 0);
        EXPECT_GT(tags, 10);
    }
    EXPECT_EQ(get("/nothing/here").status, SOUP_STATUS_NOT_FOUND);
    EXPECT_EQ(server.requestCount("/update/1"), 2);
}

TEST_F(SiteServerTest, ContentIsConfigurable) {
    server.setChatPage("<html><body>test page</body></html>");
    server.addRoute("/extra.js", "var x = 1;", "application/javascript");
    server.addRoute("/update/1", "overridden", "text/plain");
    EXPECT_EQ(get("/").body, "<html><body>test page</body></html>");
    const Reply script = get("/extra.js");
    EXPECT_EQ(script.body, "var x = 1;");
    EXPECT_EQ(script.contentType, "application/javascript");
    EXPECT_EQ(get("/update/1").body, "overridden");
}

TEST_F(SiteServerTest, CountsVisitsAndUploads) {
    get("/stats/index.html");
    EXPECT_NE(get("/stats/index.html").body.find("Visits: 2"), std::string::npos);
    EXPECT_EQ(server.statisticsVisits(), 2);

    const Reply upload = fetch(server.address("/my_videos_upload"), "POST", std::string(1000, 'v'));
    EXPECT_NE(upload.body.find("Received 1000 bytes"), std::string::npos);
    EXPECT_EQ(server.uploadedBytes(), 1000u);
}

TEST_F(SiteServerTest, DelayedUpdateReplyKeepsServing) {
    server.setUpdateDelay(std::chrono::milliseconds(500));
    server.setUpdateReply("update=critical");
    std::optional<platform::ReadReply> update;
    desktop::SoupAsyncReader reader;
    reader.readUncached(server.address("/update/1"),
                        [&](const platform::ReadReply& p) { update = p; });
    ASSERT_TRUE(waitUntil([&] { return server.requestCount("/update/1") == 1; }));
    EXPECT_EQ(get("/site.css").status, SOUP_STATUS_OK);
    EXPECT_FALSE(update.has_value());
    ASSERT_TRUE(waitUntil([&] { return update.has_value(); }));
    EXPECT_EQ(update->bytes, "update=critical");
}

TEST_F(SiteServerTest, RefusesATakenPort) {
    EXPECT_NE(server.port(), 0u);
    EXPECT_THROW(site::SiteServer(server.port()), std::runtime_error);
}

}  // namespace
