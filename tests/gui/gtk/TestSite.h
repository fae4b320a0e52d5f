#pragma once
// A small web site for the GUI tests: SoupServer on 127.0.0.1 at a free
// port, on the default main context. Each path answers a fixed reply,
// optionally after a delay; requests are counted per path.

#include <libsoup/soup.h>

#include <map>
#include <string>

namespace guitest {

struct Reply {
    std::string body;
    std::string contentType = "text/html; charset=utf-8";
    unsigned status = 200;
    unsigned delayMs = 0;
};

class TestSite {
public:
    TestSite();
    ~TestSite();
    TestSite(const TestSite&) = delete;
    TestSite& operator=(const TestSite&) = delete;

    void route(const std::string& path, Reply reply) { routes_[path] = std::move(reply); }
    std::string address(const std::string& path = "/") const;
    int requests(const std::string& path) const;

private:
    static void handle(SoupServer*, SoupServerMessage*, const char* path, GHashTable*, gpointer self);

    SoupServer* server_ = nullptr;
    unsigned port_ = 0;
    std::map<std::string, Reply> routes_;
    std::map<std::string, int> counts_;
};

}  // namespace guitest
