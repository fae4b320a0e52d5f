#pragma once
// Text files read line by line, decoded from the system's code page.

#include "platform/Services.h"

namespace posix {

class PosixTextFiles : public platform::TextFiles {
public:
    explicit PosixTextFiles(platform::CodePage& codePage) : codePage_(codePage) {}
    std::unique_ptr<platform::TextStream> OpenTextFile(const std::string& path) override;

private:
    platform::CodePage& codePage_;
};

}  // namespace posix
