#pragma once
// The in-memory backend's record of what was asked of it, and its failure
// injection: any operation can be told to fail.

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/Failure.h"

namespace memory {

class Journal {
public:
    void record(std::string entry) { entries.push_back(std::move(entry)); }
    // Entries that start with the prefix.
    std::vector<std::string> matching(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : entries)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }
    size_t count(const std::string& prefix) const { return matching(prefix).size(); }
    // Position of the first entry equal to text, or -1.
    long indexOf(const std::string& text) const {
        auto it = std::find(entries.begin(), entries.end(), text);
        return it == entries.end() ? -1 : static_cast<long>(it - entries.begin());
    }
    void clear() { entries.clear(); }

    std::vector<std::string> entries;
};

class Faults {
public:
    // Makes the operation fail; arg "*" fails it for every argument.
    void fail(const std::string& op, const std::string& arg = "*") { rules_.insert({op, arg}); }
    void heal(const std::string& op, const std::string& arg = "*") { rules_.erase({op, arg}); }
    void clear() { rules_.clear(); }
    void check(const std::string& op, const std::string& arg = "") const {
        if (rules_.count({op, "*"}) || rules_.count({op, arg}))
            throw support::Failure("injected failure: " + op + "(" + arg + ")");
    }

private:
    std::set<std::pair<std::string, std::string>> rules_;
};

// What every in-memory object shares.
struct World {
    Journal journal;
    Faults faults;
};

}  // namespace memory
