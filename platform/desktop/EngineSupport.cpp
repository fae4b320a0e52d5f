#include "platform/desktop/EngineSupport.h"

#include <glib.h>

#include <cctype>
#include <regex>
#include <sstream>
#include <tuple>

#include "support/Log.h"

namespace desktop {

namespace {

// Debian's source package of WebKitGTK, as its lists name it.
constexpr const char* kEngineSourcePackage = "webkit2gtk";
// The oldest WebKitGTK series that a supported Debian release carries.
constexpr int kOldestSupportedMinor = 52;
constexpr int kLastReleaseWithoutSupport = 12;
constexpr const char* kListFolder = "/usr/share/debian-security-support/";

// The first column of a list is a source package's name or a pattern of names.
bool namesEngine(const std::string& column) {
    try {
        return std::regex_match(kEngineSourcePackage, std::regex(column));
    } catch (const std::regex_error&) {
        return column == kEngineSourcePackage;
    }
}

std::string restOfLine(std::istringstream& in) {
    std::string rest;
    std::getline(in >> std::ws, rest);
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.pop_back();
    return rest;
}

// Calls found(columns stream) for each entry of a list that names the engine.
template <typename Found>
std::string searchList(const std::string& list, Found found) {
    std::istringstream lines(list);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream columns(line);
        std::string name;
        if (!(columns >> name) || name[0] == '#' || !namesEngine(name)) continue;
        std::string reason = found(columns);
        if (!reason.empty()) return reason;
    }
    return {};
}

bool isDate(const std::string& text) {
    static const std::regex date(R"(\d{4}-\d{2}-\d{2})");
    return std::regex_match(text, date);
}

std::string versionText(const EngineFacts& engine) {
    return std::to_string(engine.major) + "." + std::to_string(engine.minor) + "." +
           std::to_string(engine.micro);
}

std::optional<std::string> readFile(const std::string& path) {
    g_autofree gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) return std::nullopt;
    return std::string(text, length);
}

// The release number of a Debian system, 0 on others (and on testing, which has none).
int debianRelease() {
    const auto osRelease = readFile("/etc/os-release");
    if (!osRelease) return 0;
    static const std::regex id(R"((^|\n)ID="?debian"?\n)"), version(R"((^|\n)VERSION_ID="?(\d+))");
    std::smatch match;
    if (!std::regex_search(*osRelease, id) || !std::regex_search(*osRelease, match, version))
        return 0;
    return std::stoi(match[2]);
}

}  // namespace

std::string engineWithoutSecuritySupport(const EngineFacts& engine, const SupportLists& lists) {
    const std::string name = "WebKitGTK " + versionText(engine);
    if (lists.limited || lists.ended) {
        std::string reason = searchList(lists.limited.value_or(""), [&](std::istringstream& in) {
            const std::string details = restOfLine(in);
            return name + ": Debian limits its security support" +
                   (details.empty() ? std::string() : " (\"" + details + "\")");
        });
        if (!reason.empty()) return reason;
        return searchList(lists.ended.value_or(""), [&](std::istringstream& in) {
            std::string lastVersion, date;
            in >> lastVersion >> date;
            // A date still to come announces the end; until then it is supported.
            if (!isDate(date) || date > engine.today) return std::string();
            const std::string details = restOfLine(in);
            return name + ": Debian's security support for it ended on " + date +
                   (details.empty() ? std::string() : " (\"" + details + "\")");
        });
    }
    if (engine.debianRelease > 0 && engine.debianRelease <= kLastReleaseWithoutSupport)
        return name + ": Debian " + std::to_string(engine.debianRelease) +
               " no longer gives its WebKitGTK security fixes";
    if (std::tie(engine.major, engine.minor) < std::make_tuple(2, kOldestSupportedMinor))
        return name + ": older than 2." + std::to_string(kOldestSupportedMinor) +
               ", the oldest series that still gets security fixes";
    return {};
}

void warnIfEngineWithoutSecuritySupport(int major, int minor, int micro) {
    EngineFacts engine{major, minor, micro, debianRelease(), {}};
    g_autoptr(GDateTime) now = g_date_time_new_now_utc();
    g_autofree gchar* today = g_date_time_format(now, "%Y-%m-%d");
    engine.today = today ? today : "";

    const std::string folder = kListFolder;
    SupportLists lists;
    lists.limited = readFile(folder + "security-support-limited");
    for (const std::string& file :
         {std::string("security-support-ended"),
          "security-support-ended.deb" + std::to_string(engine.debianRelease)}) {
        if (auto text = readFile(folder + file))
            lists.ended = lists.ended.value_or("") + *text + "\n";
    }
    const std::string reason = engineWithoutSecuritySupport(engine, lists);
    if (reason.empty()) {
        support::logInfo("web engine: WebKitGTK " + versionText(engine) +
                         ", not marked as without security support");
        return;
    }
    support::logWarning("the web engine has no security support: " + reason +
                        ". The chat view shows other people's content in it; only use it "
                        "with a chat site you trust. Debian 13 carries a supported WebKitGTK.");
}

}  // namespace desktop
