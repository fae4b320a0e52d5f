// The in-memory system services: Flash player, webcam, reader, text files,
// dialogs, shell and recorder.

#include <algorithm>
#include <cmath>

#include "platform/memory/MemoryHost.h"

namespace memory {

using support::Failure;

std::string MemoryFlashPlayer::installedVersion(int minimumMajor) {
    world_->journal.record("installedVersion(" + std::to_string(minimumMajor) + ")");
    world_->faults.check("installedVersion");
    if (!version) throw Failure("no Flash player installed");
    if (major < minimumMajor) throw Failure("the Flash player is too old");
    return *version;
}

bool MemoryWebcam::webcamPresent() {
    world_->journal.record("webcamPresent");
    world_->faults.check("webcamPresent");
    return present;
}

void MemoryAsyncReader::readUncached(const std::string& address,
                                     std::function<void(const platform::ReadReply&)> complete) {
    world_->faults.check("read", address);
    world_->journal.record("read(" + address + ")");
    Request r{address, std::move(complete)};
    requests.push_back(r);
    pending.push_back(std::move(r));
}

void MemoryAsyncReader::complete(std::optional<bool> whole, std::optional<std::string> bytes) {
    if (pending.empty()) throw std::logic_error("no read is pending");
    Request r = std::move(pending.front());
    pending.pop_front();
    r.complete(platform::ReadReply{whole, std::move(bytes)});
}

namespace {
class MemoryTextStream : public platform::TextStream {
public:
    MemoryTextStream(std::string bytes, platform::CodePage& codePage)
        : bytes_(std::move(bytes)), codePage_(codePage) {}
    bool AtEndOfStream() override { return pos_ >= bytes_.size(); }
    std::string ReadLine() override {
        size_t end = bytes_.find_first_of("\r\n", pos_);
        if (end == std::string::npos) end = bytes_.size();
        std::string line = bytes_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < bytes_.size() && bytes_[pos_] == '\r') ++pos_;
        if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
        return codePage_.toText(line);
    }
    void Close() override {}

private:
    std::string bytes_;
    size_t pos_ = 0;
    platform::CodePage& codePage_;
};
}  // namespace

std::unique_ptr<platform::TextStream> MemoryTextFiles::OpenTextFile(const std::string& path) {
    world_->faults.check("OpenTextFile", path);
    world_->journal.record("OpenTextFile(" + path + ")");
    auto it = files.find(path);
    if (it == files.end()) throw Failure("file not found: " + path);
    return std::make_unique<MemoryTextStream>(it->second, codePage_);
}

std::string MemorySaveDialog::askSavePath(const std::vector<platform::FileType>& offered) {
    world_->faults.check("askSavePath");
    world_->journal.record("askSavePath");
    ++shown;
    types = offered;
    return answer;
}

platform::MessageAnswer MemoryMessageBox::ask(const std::string& text,
                                              platform::MessageButtons buttons, bool warning,
                                              const std::string& title) {
    world_->faults.check("MsgBox");
    const bool yesNo = buttons == platform::MessageButtons::YesNo;
    world_->journal.record("MsgBox(" + text + "," + (yesNo ? "Yes No" : "OK") +
                           (warning ? "!" : "") + "," + title + ")");
    if (!yesNo) return platform::MessageAnswer::Ok;
    return answer == platform::MessageAnswer::Ok ? platform::MessageAnswer::No : answer;
}

void MemoryShell::openWithDefaultHandler(const std::string& target) {
    world_->faults.check("openWithDefaultHandler");
    world_->journal.record("openWithDefaultHandler(" + target + ")");
}

MemoryRecorder::MemoryRecorder(std::shared_ptr<World> world, int serial)
    : world_(std::move(world)), serial_(serial) {}

MemoryRecorder::~MemoryRecorder() {
    world_->journal.record("Recorder" + std::to_string(serial_) + ".release");
}

void MemoryRecorder::call(const std::string& op) {
    world_->faults.check("Recorder." + op);
    world_->journal.record("Recorder" + std::to_string(serial_) + "." + op + "()");
}

std::shared_ptr<platform::ScreenRecorder> MemoryRecorderFactory::create(
    const platform::RecordingRequest& request, std::function<void()> failed) {
    world_->faults.check("CreateRecorder");
    ++created;
    world_->journal.record("CreateRecorder" + std::to_string(created));
    latestRequest = request;
    auto recorder = std::make_shared<MemoryRecorder>(world_, created);
    recorder->onFailure = std::move(failed);
    latest = recorder;
    return recorder;
}

}  // namespace memory
