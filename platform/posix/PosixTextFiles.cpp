#include "platform/posix/PosixTextFiles.h"

#include <cstdio>
#include <memory>

namespace posix {

namespace {

// Lines end at "\n", "\r\n" or "\r"; the terminator is not part of the line.
class PosixTextStream : public platform::TextStream {
public:
    PosixTextStream(std::FILE* file, platform::CodePage& codePage)
        : file_(file), codePage_(codePage) {}
    ~PosixTextStream() override { Close(); }

    bool AtEndOfStream() override {
        std::FILE* f = open();
        int c = std::fgetc(f);
        if (c == EOF) {
            if (std::ferror(f)) throw support::Failure("read error");
            return true;
        }
        std::ungetc(c, f);
        return false;
    }

    std::string ReadLine() override {
        std::FILE* f = open();
        std::string bytes;
        int c;
        while ((c = std::fgetc(f)) != EOF) {
            if (c == '\n') break;
            if (c == '\r') {
                int next = std::fgetc(f);
                if (next != '\n' && next != EOF) std::ungetc(next, f);
                break;
            }
            bytes.push_back(static_cast<char>(c));
        }
        if (std::ferror(f)) throw support::Failure("read error");
        return codePage_.toText(bytes);
    }

    void Close() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

private:
    std::FILE* open() {
        if (!file_) throw support::Failure("stream is closed");
        return file_;
    }
    std::FILE* file_;
    platform::CodePage& codePage_;
};

}  // namespace

std::unique_ptr<platform::TextStream> PosixTextFiles::OpenTextFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw support::Failure("cannot open " + path);
    return std::make_unique<PosixTextStream>(file, codePage_);
}

}  // namespace posix
