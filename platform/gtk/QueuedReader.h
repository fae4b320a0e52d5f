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

    void AsyncRead(const std::string& target, int asyncType, const std::string& propertyName,
                   int options,
                   std::function<void(const platform::AsyncProperty&)> complete) override {
        std::weak_ptr<EventQueue> queue = queue_;
        reader_.AsyncRead(target, asyncType, propertyName, options,
                          [queue, complete](const platform::AsyncProperty& property) {
                              if (auto q = queue.lock())
                                  q->post([complete, property] { complete(property); });
                          });
    }

private:
    platform::AsyncReader& reader_;
    std::weak_ptr<EventQueue> queue_;
};

}  // namespace gtkui
