#pragma once
// Wraps a recorder factory so that a recorder's news of a failure, which
// comes from its own capture thread, joins the event queue on the
// user-interface thread, and is dropped once that recorder has been released
// or the window has gone.

#include <glib.h>

#include <memory>
#include <vector>

#include "support/Failure.h"
#include "platform/ScreenRecorder.h"
#include "platform/gtk/EventQueue.h"

namespace gtkui {

class QueuedRecorders : public platform::RecorderFactory {
public:
    QueuedRecorders(platform::RecorderFactory& recorders, std::weak_ptr<EventQueue> queue)
        : recorders_(recorders), queue_(std::move(queue)) {}
    // UI thread. failed runs through the event queue; the recorder's own
    // callback (any thread) only schedules that on the default main context.
    // Releasing the recorder handed out releases the recorder (which joins its
    // thread) first, so no news can arrive from it afterwards; news already
    // under way is dropped.
    std::shared_ptr<platform::ScreenRecorder> create(const platform::RecordingRequest& request,
                                                     std::function<void()> failed) override {
        auto news = std::make_shared<News>(News{true, std::move(failed)});
        std::shared_ptr<platform::ScreenRecorder> real =
            recorders_.create(request, [news, queue = queue_] { hop(news, queue); });
        platform::ScreenRecorder* recorder = real.get();
        std::shared_ptr<platform::ScreenRecorder> made(
            recorder, [real = std::move(real), news](platform::ScreenRecorder*) mutable {
                real.reset();
                news->alive = false;
            });
        std::erase_if(made_, [](const auto& weak) { return weak.expired(); });
        made_.push_back(made);
        return made;
    }

    // UI thread: stops every recorder still alive, so that their files are
    // finished, for an end that the window's own unload cannot reach (the
    // display gone). Their errors are not reported: there is no one to tell.
    void stopAll() {
        for (const auto& weak : made_) {
            if (auto recorder = weak.lock()) {
                try {
                    recorder->stop();
                } catch (const support::Failure&) {
                }
            }
        }
    }

private:
    // Read and written on the user-interface thread only; the capture thread
    // merely carries a reference to it.
    struct News {
        bool alive = true;
        std::function<void()> failed;
    };
    struct Hop {
        std::shared_ptr<News> news;
        std::weak_ptr<EventQueue> queue;
    };

    // Any thread: hands the news over to the user-interface thread.
    static void hop(const std::shared_ptr<News>& news, const std::weak_ptr<EventQueue>& queue) {
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* hop = static_cast<Hop*>(data);
                if (auto q = hop->queue.lock(); q && hop->news->alive) {
                    q->post([news = hop->news] {
                        if (news->alive && news->failed) news->failed();
                    });
                }
                return G_SOURCE_REMOVE;
            },
            new Hop{news, queue}, [](gpointer data) { delete static_cast<Hop*>(data); });
    }

    platform::RecorderFactory& recorders_;
    std::weak_ptr<EventQueue> queue_;
    std::vector<std::weak_ptr<platform::ScreenRecorder>> made_;
};

}  // namespace gtkui
