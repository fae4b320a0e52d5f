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

class QueuedRecorder : public platform::ScreenRecorder {
public:
    QueuedRecorder(std::shared_ptr<platform::ScreenRecorder> recorder,
                   std::weak_ptr<EventQueue> queue)
        : recorder_(std::move(recorder)), queue_(std::move(queue)) {}
    // UI thread. Releases the recorder (which joins its thread) first, so no
    // news can arrive from it afterwards; news already under way is dropped.
    ~QueuedRecorder() override {
        recorder_.reset();
        news_->alive = false;
    }

    void SourceKind(std::int32_t kind) override { recorder_->SourceKind(kind); }
    void CaptureLeft(std::int32_t x) override { recorder_->CaptureLeft(x); }
    void CaptureTop(std::int32_t y) override { recorder_->CaptureTop(y); }
    void CaptureWidth(std::int32_t width) override { recorder_->CaptureWidth(width); }
    void CaptureHeight(std::int32_t height) override { recorder_->CaptureHeight(height); }
    void FrameRate(float fps) override { recorder_->FrameRate(fps); }
    void OutputFile(const std::string& path) override { recorder_->OutputFile(path); }
    void StartRecord() override { recorder_->StartRecord(); }
    void StopRecord() override { recorder_->StopRecord(); }
    void AudioSource(std::int32_t source) override { recorder_->AudioSource(source); }
    void HighlightClicks(std::int32_t highlight) override { recorder_->HighlightClicks(highlight); }
    void StartDelay(std::int32_t seconds) override { recorder_->StartDelay(seconds); }
    void DrawPointer(bool draw) override { recorder_->DrawPointer(draw); }
    void PadOffscreen(bool pad) override { recorder_->PadOffscreen(pad); }

    // UI thread. failed runs through the event queue; the recorder's own
    // callback (any thread) only schedules that on the default main context.
    void setOnFailure(std::function<void()> failed) override {
        news_->failed = std::move(failed);
        recorder_->setOnFailure([news = news_, queue = queue_] {
            auto* hop = new Hop{news, queue};
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
                hop, [](gpointer data) { delete static_cast<Hop*>(data); });
        });
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

    std::shared_ptr<platform::ScreenRecorder> recorder_;
    std::weak_ptr<EventQueue> queue_;
    std::shared_ptr<News> news_ = std::make_shared<News>();
};

class QueuedRecorders : public platform::RecorderFactory {
public:
    QueuedRecorders(platform::RecorderFactory& recorders, std::weak_ptr<EventQueue> queue)
        : recorders_(recorders), queue_(std::move(queue)) {}
    std::shared_ptr<platform::ScreenRecorder> create() override {
        auto made = std::make_shared<QueuedRecorder>(recorders_.create(), queue_);
        std::erase_if(made_, [](const auto& recorder) { return recorder.expired(); });
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
                    recorder->StopRecord();
                } catch (const platform::Failure&) {
                }
            }
        }
    }

private:
    platform::RecorderFactory& recorders_;
    std::weak_ptr<EventQueue> queue_;
    std::vector<std::weak_ptr<QueuedRecorder>> made_;
};

}  // namespace gtkui
