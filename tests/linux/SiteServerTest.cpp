#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "demo/SiteServer.h"
#include "tests/linux/MainLoopWait.h"

using testing_support::waitUntil;

namespace {

struct Reply {
    guint status = 0;
    std::string contentType;
    std::string body;
};

// An HTTP exchange with the server, run on the default main context.
class Exchange {
public:
    Exchange(SoupSession* session, const std::string& method, const std::string& address,
             const std::string& body = "") {
        msg_ = soup_message_new(method.c_str(), address.c_str());
        if (!body.empty()) {
            GBytes* bytes = g_bytes_new(body.data(), body.size());
            soup_message_set_request_body_from_bytes(msg_, "application/octet-stream", bytes);
            g_bytes_unref(bytes);
        }
        soup_session_send_and_read_async(
            session, msg_, G_PRIORITY_DEFAULT, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* self = static_cast<Exchange*>(data);
                GBytes* bytes =
                    soup_session_send_and_read_finish(SOUP_SESSION(source), result, nullptr);
                Reply reply{soup_message_get_status(self->msg_), "", ""};
                if (const char* type = soup_message_headers_get_content_type(
                        soup_message_get_response_headers(self->msg_), nullptr)) {
                    reply.contentType = type;
                }
                if (bytes) {
                    gsize size = 0;
                    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
                    reply.body.assign(data ? data : "", size);
                    g_bytes_unref(bytes);
                }
                self->reply_ = reply;
            },
            this);
    }
    ~Exchange() {
        waitUntil([this] { return reply_.has_value(); });
        g_object_unref(msg_);
    }
    bool done() const { return reply_.has_value(); }
    Reply reply() {
        EXPECT_TRUE(waitUntil([this] { return reply_.has_value(); }));
        return reply_.value_or(Reply{});
    }

private:
    SoupMessage* msg_;
    std::optional<Reply> reply_;
};

class SiteServerTest : public ::testing::Test {
protected:
    SiteServerTest() { server.setLogging(false); }
    ~SiteServerTest() override { g_object_unref(session); }

    Reply get(const std::string& path) {
        return Exchange(session, "GET", server.address(path)).reply();
    }

    site::SiteServer server;
    SoupSession* session = soup_session_new();
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
          "<param name=\"flashvars\" value=\"room=lobby&amp;lang=en\">", "<embed ",
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
    EXPECT_EQ(get("/flash/chat.swf").body.size(), 17u);
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

    const Reply upload =
        Exchange(session, "POST", server.address("/my_videos_upload"), std::string(1000, 'v'))
            .reply();
    EXPECT_NE(upload.body.find("Received 1000 bytes"), std::string::npos);
    EXPECT_EQ(server.uploadedBytes(), 1000u);
}

TEST_F(SiteServerTest, DelayedUpdateReplyKeepsServing) {
    server.setUpdateDelay(std::chrono::milliseconds(500));
    server.setUpdateReply("update=critical");
    Exchange update(session, "GET", server.address("/update/1"));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount("/update/1") == 1; }));
    EXPECT_EQ(get("/site.css").status, SOUP_STATUS_OK);
    EXPECT_FALSE(update.done());
    EXPECT_EQ(update.reply().body, "update=critical");
}

TEST_F(SiteServerTest, RefusesATakenPort) {
    EXPECT_NE(server.port(), 0u);
    EXPECT_THROW(site::SiteServer(server.port()), std::runtime_error);
}

}  // namespace
