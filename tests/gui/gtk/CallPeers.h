#pragma once
// The far end of the call tests: a signalling mailbox on 127.0.0.1 (POST a
// message to /box/NAME, GET /box/NAME takes what waits there as a JSON
// array) and a headless Chromium that runs a peer page from it. The same
// peer script runs in the chat page.

#include <glib.h>
#include <libsoup/soup.h>

#include <map>
#include <string>
#include <vector>

namespace guitest {

// Both ends' peer: runPeer(base, role, me, them, media) makes a connection,
// offers ("offer") or answers, exchanges a string and a binary message over a
// data channel, and keeps what it received in window.got (and posts it to the
// "result-ME" box). With media ({colour, hertz}) it sends a picture of that
// colour and a tone, plays what it receives and posts what it sees and hears
// to the "media-ME" box twice a second ({watch: true}: it only receives). A
// track added during the call is negotiated again. Chromium's role is
// "offer" or "answer", with ",media" or ",watch" (",media,640x480": a
// picture of that size; {size: '640x480'} in the page's media).
extern const char* const PeerScript;

class Mailbox {
public:
    Mailbox();
    ~Mailbox();
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // What was posted to a box and not yet taken, oldest first.
    std::vector<std::string> take(const std::string& box);

private:
    static void onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                          gpointer self);
    SoupServer* server_;
    unsigned port_ = 0;
    std::map<std::string, std::vector<std::string>> boxes_;
};

// Chromium with a fresh profile, showing the mailbox's peer page in a role.
class ChromiumPeer {
public:
    ChromiumPeer(const Mailbox& mailbox, const std::string& role);
    ~ChromiumPeer();
    bool started() const { return pid_ > 0; }
    GPid pid() const { return pid_; }

private:
    GPid pid_ = 0;
    std::string profile_;
};

}  // namespace guitest
