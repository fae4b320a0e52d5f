#include "platform/desktop/XdgFolders.h"

#include <glib.h>

namespace desktop {

namespace {

const char* const kSingleFolders[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                      "XDG_STATE_HOME", "XDG_RUNTIME_DIR"};
const char* const kFolderLists[] = {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"};

bool isList(const std::string& name) {
    for (const char* list : kFolderLists)
        if (name == list) return true;
    return false;
}

}  // namespace

std::string absoluteXdgValue(const std::string& name, const std::string& value) {
    if (!isList(name)) return g_path_is_absolute(value.c_str()) ? value : std::string();
    std::string kept;
    size_t from = 0;
    while (from <= value.size()) {
        size_t end = value.find(':', from);
        if (end == std::string::npos) end = value.size();
        const std::string entry = value.substr(from, end - from);
        if (g_path_is_absolute(entry.c_str())) kept += (kept.empty() ? "" : ":") + entry;
        from = end + 1;
    }
    return kept;
}

std::vector<std::string> dropRelativeXdgFolders() {
    std::vector<std::string> changes;
    auto apply = [&](const char* name) {
        const char* value = g_getenv(name);
        if (!value || !*value) return;
        const std::string kept = absoluteXdgValue(name, value);
        if (kept == value) return;
        if (kept.empty()) {
            g_unsetenv(name);
            changes.push_back(std::string(name) + " is not an absolute path and is ignored");
        } else {
            g_setenv(name, kept.c_str(), TRUE);
            changes.push_back(std::string(name) + ": its relative entries are ignored");
        }
    };
    for (const char* name : kSingleFolders) apply(name);
    for (const char* name : kFolderLists) apply(name);
    return changes;
}

}  // namespace desktop
