#pragma once
// Tells a callback that arrives later (a finished read, a queued event)
// whether the object that set it up is still there. The object owns a
// Liveness; each callback keeps a Watch of it, which reads as gone once the
// object has ended it or been destroyed. A watch is only meaningful on the
// thread that ends or destroys the object (the user-interface thread).

#include <memory>

namespace support {

class Liveness {
public:
    class Watch {
    public:
        bool alive() const { return !token_.expired(); }

    private:
        friend class Liveness;
        explicit Watch(std::weak_ptr<const char> token) : token_(std::move(token)) {}
        std::weak_ptr<const char> token_;
    };

    Liveness() = default;
    Liveness(const Liveness&) = delete;
    Liveness& operator=(const Liveness&) = delete;

    Watch watch() const { return Watch(token_); }
    bool alive() const { return token_ != nullptr; }
    // Ends it before the object goes: every watch reads as gone from now on.
    void end() { token_.reset(); }

private:
    std::shared_ptr<const char> token_ = std::make_shared<const char>();
};

}  // namespace support
