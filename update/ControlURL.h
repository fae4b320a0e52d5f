#pragma once
// The update-check control: fetches one address without blocking the window
// and reports the outcome as UpdateCheck (with the reply text) or UpdateFail.

#include <functional>
#include <memory>
#include <string>

#include "support/Liveness.h"
#include "platform/Services.h"

namespace update {

class ControlURL {
public:
    ControlURL(platform::AsyncReader& reader, platform::CodePage& codePage);
    ~ControlURL();
    ControlURL(const ControlURL&) = delete;
    ControlURL& operator=(const ControlURL&) = delete;

    // Starts the read and returns at once. A read that cannot start raises
    // UpdateFail before this returns.
    void CheckUpdate(std::string URL);

    std::function<void(std::string& Text)> UpdateCheck;
    std::function<void()> UpdateFail;

    // Run by the host when a read has ended.
    void UserControl_AsyncReadComplete(const platform::ReadReply& AsyncProp);

private:
    platform::AsyncReader& reader_;
    platform::CodePage& codePage_;
    support::Liveness liveness_;
};

}  // namespace update
