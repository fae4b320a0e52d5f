#pragma once
// The four addresses the client uses. Built in at compile time; tests may
// pass their own.

#include <string>

#include "support/BuiltInSettings.h"

namespace support {

struct Settings {
    std::string updateBaseAddress;  // ends in "/"; the client appends "1"
    std::string chatStartAddress;
    std::string statisticsPageAddress;
    std::string uploadPageAddress;

    static Settings builtIn() {
        return {builtin::UpdateBaseAddress, builtin::ChatStartAddress,
                builtin::StatisticsPageAddress, builtin::UploadPageAddress};
    }
};

}  // namespace support
