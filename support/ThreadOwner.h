#pragma once
// Remembers the thread that made an object; calls from any other thread are a
// programming error that ends the program at once, before it can corrupt
// state shared with the user-interface thread.

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace support {

class ThreadOwner {
public:
    void check(const char* call) const {
        if (std::this_thread::get_id() == owner_) return;
        std::fprintf(stderr, "whirligigcam: %s called off the thread that owns it\n", call);
        std::abort();
    }

private:
    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace support
