#pragma once
// A small video-chat web site on 127.0.0.1, served by libsoup's SoupServer on
// the default GMainContext (no threads). The bundled demo runs it, and tests in
// the same process as GTK use it as their site and update server.
//
// Built-in paths: "/" (the chat page), "/site.css", "/ad.html",
// "/flash/chat.swf", "/update/1" (the update reply), "/stats/index.html" (a
// visit counter), "/my_videos_upload" (an upload form that accepts POST) and
// "/call/socket" (calls to a simulated friend; see CallSignalling.h).
// Routes added with addRoute() take precedence over the built-in ones.
//
// Every method must be called on the thread that runs the default main context.

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace site {

// How the update path misbehaves, for tests of the client's failure paths.
enum class UpdateFailure {
    None,            // answer with the reply text
    ServerError,     // answer 500 Internal Server Error
    DropConnection,  // close the connection without answering
};

// How any other path misbehaves, for tests of the client's chat-page failures.
enum class PathFailure {
    None,
    ServerError,     // answer 500 Internal Server Error
    DropConnection,  // close the connection without answering
    NeverAnswer,     // keep the request open without an answer
    CutShort,        // promise 50 bytes, send 12, close the connection
};

// Header names are kept as received; lookups with header() ignore case.
struct RequestRecord {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> headers;

    // The value of a header (several values joined with ", "), or "".
    std::string header(const std::string& name) const;
};

class SiteServer {
public:
    // Listens on 127.0.0.1 at the given port (0: any free port). Throws
    // std::runtime_error when it cannot listen.
    explicit SiteServer(unsigned port = 0);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // The port listened on, and "http://127.0.0.1:<port>" followed by path.
    unsigned port() const;
    std::string address(const std::string& path = "/") const;

    // Replaces the HTML of the chat page at "/".
    void setChatPage(std::string html);
    static std::string defaultChatPage();

    // Serves body with the given content type at path (GET and HEAD).
    void addRoute(const std::string& path, std::string body,
                  std::string contentType = "text/html; charset=utf-8");
    // Serves body at path as an attachment that the browser saves as fileName
    // (sent percent-encoded, so that any bytes of a name reach the browser).
    void addAttachment(const std::string& path, std::string body, const std::string& fileName);
    // Like addAttachment, but sends the first half of body only and holds the
    // connection until finishStalled() sends the rest (complete) or drops it.
    void addStalledAttachment(const std::string& path, std::string body,
                              const std::string& fileName);
    void finishStalled(bool complete);
    // Answers path with a redirect (302 Found) to target.
    void addRedirect(const std::string& path, std::string target);

    // The update reply: text (default "update=false"), a delay before the
    // answer (the server keeps serving meanwhile), and failure modes.
    void setUpdateReply(std::string text);
    void setUpdateDelay(std::chrono::milliseconds delay);
    void setUpdateFailure(UpdateFailure failure);
    // Every later request for path misbehaves so (None: served again).
    void setPathFailure(const std::string& path, PathFailure failure);

    // Requests that reached the server for a path, and requests whose exchange
    // has ended (answered, failed or abandoned by the client).
    int requestCount(const std::string& path) const;
    int endedCount(const std::string& path) const;
    // The last request for a path; throws std::out_of_range when there was none.
    const RequestRecord& lastRequest(const std::string& path) const;
    int statisticsVisits() const;
    std::size_t uploadedBytes() const;

    // One line per request and per call event on stderr (on by default).
    void setLogging(bool on);
    // The chat page calls the friend as soon as its camera is live.
    void setAutoCall(bool on);
    // Calls whose friend is running.
    int activeCalls() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace site
