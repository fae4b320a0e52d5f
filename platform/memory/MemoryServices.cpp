// The in-memory system services: Flash object, capture driver, reader, text
// files, dialogs, shell and recorder.

#include <algorithm>
#include <cmath>
#include <sstream>

#include "platform/memory/MemoryHost.h"

namespace memory {

using platform::Failure;


namespace {
class MemoryFlashObject : public platform::ScriptableObject {
public:
    MemoryFlashObject(std::shared_ptr<World> world, std::string version, bool fails)
        : world_(std::move(world)), version_(std::move(version)), fails_(fails) {}
    std::string GetVariable(const std::string& name) override {
        world_->journal.record("GetVariable(" + name + ")");
        if (fails_ || name != "$version") throw Failure("GetVariable failed");
        return version_;
    }
    ~MemoryFlashObject() override { world_->journal.record("FlashObject.release"); }

private:
    std::shared_ptr<World> world_;
    std::string version_;
    bool fails_;
};
}  // namespace

std::shared_ptr<platform::ScriptableObject> MemoryObjectFactory::CreateObject(
    const std::string& progId) {
    world_->journal.record("CreateObject(" + progId + ")");
    world_->faults.check("CreateObject", progId);
    auto it = installed.find(progId);
    if (it == installed.end()) throw Failure("class not registered");
    return std::make_shared<MemoryFlashObject>(world_, it->second, getVariableFails);
}

platform::WindowHandle MemoryCaptureService::openProbe() {
    world_->faults.check("openProbe");
    world_->journal.record("openProbe");
    if (openFails) return 0;
    probes.insert(++next_);
    return next_;
}

bool MemoryCaptureService::connectDriver(platform::WindowHandle probe, int driver) {
    world_->faults.check("connectDriver");
    messages.push_back("connect " + std::to_string(driver));
    return probes.count(probe) && drivers.count(driver);
}

void MemoryCaptureService::disconnectDriver(platform::WindowHandle probe) {
    world_->faults.check("disconnectDriver");
    messages.push_back("disconnect " + std::to_string(probe));
}

void MemoryCaptureService::closeProbe(platform::WindowHandle probe) {
    world_->faults.check("closeProbe");
    messages.push_back("close " + std::to_string(probe));
    probes.erase(probe);
}

void MemoryAsyncReader::AsyncRead(const std::string& target, int asyncType,
                                  const std::string& propertyName, int options,
                                  std::function<void(const platform::AsyncProperty&)> complete) {
    world_->faults.check("AsyncRead", target);
    world_->journal.record("AsyncRead(" + target + "," + std::to_string(asyncType) + "," +
                           propertyName + "," + std::to_string(options) + ")");
    Request r{target, asyncType, propertyName, options, std::move(complete)};
    requests.push_back(r);
    pending.push_back(std::move(r));
}

void MemoryAsyncReader::complete(std::optional<int> status, std::optional<std::string> bytes) {
    if (pending.empty()) throw std::logic_error("no read is pending");
    Request r = std::move(pending.front());
    pending.pop_front();
    platform::AsyncProperty prop{r.propertyName, status, std::move(bytes)};
    r.complete(prop);
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

void MemorySaveDialog::setFilter(const std::string& f) {
    world_->faults.check("Filter");
    world_->journal.record("CommonDialog1.Filter=" + f);
    filter = f;
}

void MemorySaveDialog::ShowSave() {
    world_->faults.check("ShowSave");
    world_->journal.record("CommonDialog1.ShowSave");
    ++shown;
    fileName_ = answer;
}

std::string MemorySaveDialog::FileName() {
    world_->faults.check("FileName");
    return fileName_;
}

int MemoryMessageBox::MsgBox(const std::string& prompt, std::uint32_t buttons,
                             const std::string& title) {
    world_->faults.check("MsgBox");
    world_->journal.record("MsgBox(" + prompt + "," + std::to_string(buttons) + "," + title + ")");
    return answer;
}

void MemoryShell::openWithDefaultHandler(const std::string& target, const std::string& directory) {
    world_->faults.check("openWithDefaultHandler");
    world_->journal.record("openWithDefaultHandler(" + target + "," + directory + ")");
}

MemoryRecorder::MemoryRecorder(std::shared_ptr<World> world, int serial)
    : world_(std::move(world)), serial_(serial) {}

MemoryRecorder::~MemoryRecorder() {
    world_->journal.record("Recorder" + std::to_string(serial_) + ".release");
}

void MemoryRecorder::call(const std::string& op, const std::string& value) {
    world_->faults.check("Recorder." + op);
    world_->journal.record("Recorder" + std::to_string(serial_) + "." + op + "(" + value + ")");
}

void MemoryRecorder::SourceKind(std::int32_t v) { call("SourceKind", std::to_string(v)); }
void MemoryRecorder::CaptureLeft(std::int32_t v) { call("CaptureLeft", std::to_string(v)); }
void MemoryRecorder::CaptureTop(std::int32_t v) { call("CaptureTop", std::to_string(v)); }
void MemoryRecorder::CaptureWidth(std::int32_t v) { call("CaptureWidth", std::to_string(v)); }
void MemoryRecorder::CaptureHeight(std::int32_t v) { call("CaptureHeight", std::to_string(v)); }
void MemoryRecorder::FrameRate(float v) {
    std::ostringstream out;
    out << v;
    call("FrameRate", out.str());
}
void MemoryRecorder::OutputFile(const std::string& v) { call("OutputFile", v); }
void MemoryRecorder::StartRecord() { call("StartRecord", ""); }
void MemoryRecorder::StopRecord() { call("StopRecord", ""); }
void MemoryRecorder::AudioSource(std::int32_t v) { call("AudioSource", std::to_string(v)); }
void MemoryRecorder::HighlightClicks(std::int32_t v) { call("HighlightClicks", std::to_string(v)); }
void MemoryRecorder::StartDelay(std::int32_t v) { call("StartDelay", std::to_string(v)); }
void MemoryRecorder::DrawPointer(bool v) { call("DrawPointer", v ? "1" : "0"); }
void MemoryRecorder::PadOffscreen(bool v) { call("PadOffscreen", v ? "1" : "0"); }

std::shared_ptr<platform::ScreenRecorder> MemoryRecorderFactory::create() {
    world_->faults.check("CreateRecorder");
    ++created;
    world_->journal.record("CreateRecorder" + std::to_string(created));
    auto recorder = std::make_shared<MemoryRecorder>(world_, created);
    latest = recorder;
    return recorder;
}

}  // namespace memory
