#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "demo/SiteServer.h"
#include "platform/desktop/SoupAsyncReader.h"
#include "tests/desktop/MainLoopWait.h"

using desktop::SoupAsyncReader;
using platform::ReadReply;
using testing_support::waitUntil;

namespace {

class SoupAsyncReaderTest : public ::testing::Test {
protected:
    SoupAsyncReaderTest() { server.setLogging(false); }

    // Starts a read that records its completions in results.
    void read(SoupAsyncReader& reader, const std::string& target) {
        reader.readUncached(target, [this](const ReadReply& p) { results.push_back(p); });
    }

    // Reads one address to its end and returns the one completion.
    ReadReply readToEnd(SoupAsyncReader& reader, const std::string& target) {
        results.clear();
        read(reader, target);
        EXPECT_TRUE(results.empty()) << "completion ran inside readUncached";
        EXPECT_TRUE(waitUntil([&] { return !results.empty(); }));
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? ReadReply{} : results.front();
    }

    site::SiteServer server;
    std::vector<ReadReply> results;
};

struct Outcome {
    const char* name;
    std::string body;  // served at /case
    bool whole = true;
    const char* path = "/case";
    site::UpdateFailure failure = site::UpdateFailure::None;  // of /update/1
    int delayMs = 0;                                          // before /update/1 answers
};

TEST_F(SoupAsyncReaderTest, ReportsEachKindOfEnd) {
    using site::UpdateFailure;
    const char* update = "/update/1";
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += static_cast<char>(c);
    const std::vector<Outcome> cases = {
        {"reply with its line end", "update=false\r\n"},
        {"empty body", ""},
        {"every byte value", binary},
        {"body at the size limit", std::string(64 * 1024, 'x')},
        {"body over the size limit", std::string(64 * 1024 + 1, 'x'), false},
        {"page not found", "", false, "/no/such/page"},
        {"server error", "", false, update, UpdateFailure::ServerError},
        {"connection dropped", "", false, update, UpdateFailure::DropConnection},
        {"late server error", "", false, update, UpdateFailure::ServerError, 100},
        {"late connection drop", "", false, update, UpdateFailure::DropConnection, 100},
        {"server slower than the time limit", "", false, update, UpdateFailure::None, 30000},
        {"connection refused", "", false, nullptr},
        {"reply cut short of its length", "", false, "/cut"},
    };
    server.setPathFailure("/cut", site::PathFailure::CutShort);
    std::string refused;
    {
        site::SiteServer gone;
        refused = gone.address();
    }
    SoupAsyncReader reader(SoupAsyncReader::Limits{std::chrono::seconds(1), 64 * 1024});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.addRoute("/case", c.body, "application/octet-stream");
        server.setUpdateFailure(c.failure);
        server.setUpdateDelay(std::chrono::milliseconds(c.delayMs));
        const ReadReply p = readToEnd(reader, c.path ? server.address(c.path) : refused);
        EXPECT_EQ(p.whole, c.whole) << (p.bytes ? *p.bytes : "-");
        if (c.whole) {
            EXPECT_EQ(p.bytes, c.body);
        } else {
            EXPECT_FALSE(p.bytes.has_value());
        }
    }
    EXPECT_EQ(reader.readsInFlight(), 0u);
}

TEST_F(SoupAsyncReaderTest, EveryReadReachesTheServerAndForbidsCaches) {
    SoupAsyncReader reader;
    EXPECT_EQ(readToEnd(reader, server.address("/update/1")).bytes, "update=false");
    server.setUpdateReply("update=true");
    EXPECT_EQ(readToEnd(reader, server.address("/update/1")).bytes, "update=true");
    EXPECT_EQ(server.requestCount("/update/1"), 2);

    const site::RequestRecord& request = server.lastRequest("/update/1");
    EXPECT_EQ(request.method, "GET");
    EXPECT_NE(request.header("Cache-Control").find("no-cache"), std::string::npos);
    EXPECT_NE(request.header("Cache-Control").find("no-store"), std::string::npos);
    EXPECT_EQ(request.header("Pragma"), "no-cache");
}

TEST_F(SoupAsyncReaderTest, TwoReadsOfOneAddressBothReport) {
    server.setUpdateDelay(std::chrono::milliseconds(200));
    SoupAsyncReader reader;
    read(reader, server.address("/update/1"));
    read(reader, server.address("/update/1"));
    EXPECT_EQ(reader.readsInFlight(), 2u);
    ASSERT_TRUE(waitUntil([&] { return results.size() >= 2; }));
    EXPECT_EQ(server.requestCount("/update/1"), 2);
    for (const auto& p : results) EXPECT_EQ(p.whole, true);
}

TEST_F(SoupAsyncReaderTest, UnusableAddressThrowsAndNeverReports) {
    SoupAsyncReader reader;
    for (const char* target : {"", "not an address", "ftp://127.0.0.1/update/1", "http://",
                               "file:///etc/hostname", "http://127.0.0.1:99999/update/1"}) {
        SCOPED_TRACE(target);
        EXPECT_THROW(read(reader, target), support::Failure);
    }
    EXPECT_EQ(reader.readsInFlight(), 0u);
    // A later read ends after anything the failed starts could have queued.
    readToEnd(reader, server.address("/site.css"));
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(SoupAsyncReaderTest, AbandonedReadsNeverReport) {
    server.setUpdateDelay(std::chrono::milliseconds(300));
    for (const bool destroy : {true, false}) {
        SCOPED_TRACE(destroy ? "reader destroyed" : "abandonAll");
        results.clear();
        const int ended = server.endedCount("/update/1");
        auto reader = std::make_unique<SoupAsyncReader>();
        read(*reader, server.address("/update/1"));
        ASSERT_TRUE(waitUntil([&] { return server.requestCount("/update/1") > ended; }));
        if (destroy) {
            reader.reset();
        } else {
            reader->abandonAll();
            EXPECT_EQ(reader->readsInFlight(), 0u);
        }
        ASSERT_TRUE(waitUntil([&] { return server.endedCount("/update/1") > ended; }));
        SoupAsyncReader later;
        readToEnd(reader ? *reader : later, server.address("/site.css"));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results.front().whole, true) << "only the later read reported";
    }
}

}  // namespace
