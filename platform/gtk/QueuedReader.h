#pragma once
// Wraps a reader so that its completions join the event queue, and are
// dropped once the window has gone.

#include <memory>

#include "platform/Services.h"
#include "platform/gtk/EventQueue.h"

namespace gtkui {

class QueuedReader : public platform::AsyncReader {
public:
    QueuedReader(platform::AsyncReader& reader, std::weak_ptr<EventQueue> queue)
        : reader_(reader), queue_(std::move(queue)) {}

    void readUncached(const std::string& address,
                      std::function<void(const platform::ReadReply&)> complete) override {
        std::weak_ptr<EventQueue> queue = queue_;
        reader_.readUncached(address, [queue, complete](const platform::ReadReply& reply) {
            if (auto q = queue.lock()) q->post([complete, reply] { complete(reply); });
        });
    }

private:
    platform::AsyncReader& reader_;
    std::weak_ptr<EventQueue> queue_;
};

}  // namespace gtkui
