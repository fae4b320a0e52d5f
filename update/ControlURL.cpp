#include "update/ControlURL.h"

#include <memory>

#include "support/Log.h"

namespace update {

using support::attempt;

namespace {
// A reply as the log shows it: quoted, cut short (a wrong server may answer
// with a whole page).
std::string quoted(const std::string& text) {
    constexpr size_t limit = 80;
    return "\"" + text.substr(0, limit) + (text.size() > limit ? "...\"" : "\"");
}
}  // namespace

ControlURL::ControlURL(platform::AsyncReader& reader, platform::CodePage& codePage)
    : reader_(reader), codePage_(codePage) {}

ControlURL::~ControlURL() = default;

void ControlURL::CheckUpdate(std::string URL) {
    const support::Liveness::Watch alive = liveness_.watch();
    support::logInfo("update check: reading " + URL);
    const bool started = attempt([&] {
        reader_.readUncached(URL, [this, alive](const platform::ReadReply& reply) {
            // A read that ends after the control has gone reports nothing.
            if (alive.alive()) UserControl_AsyncReadComplete(reply);
        });
    });
    // A read that cannot even start has failed like one that breaks off later.
    if (!started && UpdateFail) UpdateFail();
}

void ControlURL::UserControl_AsyncReadComplete(const platform::ReadReply& AsyncProp) {
    // When the status cannot be read, the read counts as completed.
    bool completed = true;
    attempt([&] { completed = AsyncProp.readWhole(); });
    if (completed) {
        std::string text;  // stays empty when the value cannot be read or converted
        attempt([&] { text = codePage_.toText(AsyncProp.body()); });
        support::logInfo("update check: the server replied " + quoted(text));
        if (UpdateCheck) UpdateCheck(text);
    } else {
        support::logInfo("update check: the read failed");
        if (UpdateFail) UpdateFail();
    }
}

}  // namespace update
