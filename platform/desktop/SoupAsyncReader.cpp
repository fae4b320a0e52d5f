#include "platform/desktop/SoupAsyncReader.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <string>
#include <utility>

#include "support/Log.h"

namespace desktop {

namespace {

constexpr gsize kChunkBytes = 16 * 1024;

// A completion that throws Failure has only failed its own step; any other
// exception is a fault in the caller and ends the program here rather than
// unwinding through the main loop's C frames.
void deliver(const std::function<void(const platform::ReadReply&)>& complete,
             const platform::ReadReply& reply) noexcept {
    try {
        complete(reply);
    } catch (const support::Failure&) {
    }
}

}  // namespace

// One read in flight. It lives until its last asynchronous step has come back,
// which may be after the reader has gone (then owner is null).
struct SoupAsyncReader::Read {
    SoupAsyncReader* owner;
    std::function<void(const platform::ReadReply&)> complete;
    std::size_t maxBodyBytes;
    SoupMessage* msg;
    GCancellable* cancellable = g_cancellable_new();
    GInputStream* body = nullptr;
    std::string bytes;
    guint deadline = 0;
    bool timedOut = false;

    Read(SoupAsyncReader* owner, std::function<void(const platform::ReadReply&)> complete,
         std::size_t maxBodyBytes, SoupMessage* msg)
        : owner(owner), complete(std::move(complete)), maxBodyBytes(maxBodyBytes), msg(msg) {}

    ~Read() {
        if (deadline) g_source_remove(deadline);
        g_clear_object(&body);
        g_object_unref(cancellable);
        g_object_unref(msg);
    }

    void abandon() {
        owner = nullptr;
        complete = nullptr;
        g_cancellable_cancel(cancellable);
    }

    // Why a read ends without a reply, for the log. An abandoned read is not news.
    void logFailure(const std::string& why) {
        if (!owner || !support::logging()) return;
        g_autofree gchar* address = g_uri_to_string(soup_message_get_uri(msg));
        support::logDebug(std::string("reading ") + address +
                          " failed: " + (timedOut ? "no reply within the time limit" : why));
    }

    void failWith(const GError* error, const char* otherwise) {
        logFailure(error ? error->message : otherwise);
        finish(false);
    }

    void finish(bool whole) {
        if (owner) owner->reads_.erase(this);
        auto done = std::move(complete);
        platform::ReadReply reply{whole, std::nullopt};
        if (whole) reply.bytes = std::move(bytes);
        delete this;
        if (done) deliver(done, reply);
    }

    static void sent(GObject* session, GAsyncResult* result, gpointer data) {
        auto* read = static_cast<Read*>(data);
        g_autoptr(GError) error = nullptr;
        read->body = soup_session_send_finish(SOUP_SESSION(session), result, &error);
        if (!read->body) return read->failWith(error, "no reply");
        const guint status = soup_message_get_status(read->msg);
        if (!SOUP_STATUS_IS_SUCCESSFUL(status)) {
            const char* reason = soup_message_get_reason_phrase(read->msg);
            read->logFailure("HTTP status " + std::to_string(status) + " " +
                             (reason ? reason : ""));
            return read->finish(false);
        }
        read->readMore();
    }

    // The connection closed before the length the server announced: a failed
    // transfer, not a reply. (A coded body's length is that of its coding.)
    bool cutShort() const {
        SoupMessageHeaders* headers = soup_message_get_response_headers(msg);
        if (soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH)
            return false;
        const char* coding = soup_message_headers_get_one(headers, "Content-Encoding");
        if (coding && g_ascii_strcasecmp(coding, "identity") != 0) return false;
        return static_cast<goffset>(bytes.size()) <
               soup_message_headers_get_content_length(headers);
    }

    void readMore() {
        // Ask for one byte beyond the limit so that an oversized body shows.
        const gsize wanted = std::min(kChunkBytes, maxBodyBytes + 1 - bytes.size());
        g_input_stream_read_bytes_async(body, wanted, G_PRIORITY_DEFAULT, cancellable, gotChunk,
                                        this);
    }

    static void gotChunk(GObject* stream, GAsyncResult* result, gpointer data) {
        auto* read = static_cast<Read*>(data);
        g_autoptr(GError) error = nullptr;
        g_autoptr(GBytes) chunk =
            g_input_stream_read_bytes_finish(G_INPUT_STREAM(stream), result, &error);
        if (!chunk) return read->failWith(error, "the reply broke off");
        gsize size = 0;
        const auto* start = static_cast<const char*>(g_bytes_get_data(chunk, &size));
        if (size == 0) {
            if (read->cutShort()) {
                read->logFailure("the reply broke off after " + std::to_string(read->bytes.size()) +
                                 " bytes");
                return read->finish(false);
            }
            return read->finish(true);
        }
        read->bytes.append(start, size);
        if (read->bytes.size() > read->maxBodyBytes) {
            read->logFailure("the reply is longer than " + std::to_string(read->maxBodyBytes) +
                             " bytes");
            return read->finish(false);
        }
        read->readMore();
    }

    static gboolean deadlinePassed(gpointer data) {
        auto* read = static_cast<Read*>(data);
        read->deadline = 0;
        read->timedOut = true;
        // The step in progress comes back cancelled and ends the read.
        g_cancellable_cancel(read->cancellable);
        return G_SOURCE_REMOVE;
    }
};

SoupAsyncReader::SoupAsyncReader() : SoupAsyncReader(Limits{}) {}

SoupAsyncReader::SoupAsyncReader(Limits limits)
    : limits_(limits),
      session_(soup_session_new_with_options("timeout", static_cast<guint>(limits.timeout.count()),
                                             nullptr)) {}

SoupAsyncReader::~SoupAsyncReader() {
    abandonAll();
    g_object_unref(session_);
}

void SoupAsyncReader::abandonAll() {
    auto reads = std::move(reads_);
    reads_.clear();
    for (Read* read : reads) read->abandon();
}

void SoupAsyncReader::readUncached(const std::string& target,
                                   std::function<void(const platform::ReadReply&)> complete) {
    if (target.find('\0') != std::string::npos) throw support::Failure("invalid address");
    g_autoptr(GUri) uri =
        g_uri_parse(target.c_str(), static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr);
    if (!uri) throw support::Failure("invalid address: " + target);
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    const bool http =
        g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0;
    if (!http || !host || !*host) throw support::Failure("unsupported address: " + target);
    SoupMessage* msg = soup_message_new_from_uri(SOUP_METHOD_GET, uri);
    SoupMessageHeaders* headers = soup_message_get_request_headers(msg);
    soup_message_headers_replace(headers, "Cache-Control", "no-cache, no-store");
    soup_message_headers_replace(headers, "Pragma", "no-cache");

    auto* read = new Read(this, std::move(complete), limits_.maxBodyBytes, msg);
    if (limits_.timeout.count() > 0) {
        read->deadline = g_timeout_add_seconds(static_cast<guint>(limits_.timeout.count()),
                                               &Read::deadlinePassed, read);
    }
    reads_.insert(read);
    soup_session_send_async(session_, msg, G_PRIORITY_DEFAULT, read->cancellable, &Read::sent,
                            read);
}

}  // namespace desktop
