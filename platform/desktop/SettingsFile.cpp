#include "platform/desktop/SettingsFile.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "support/Split.h"

namespace desktop {

namespace {

using Warn = std::function<void(const std::string&)>;

constexpr const char* kGroup = "Addresses";
constexpr const char* kRecordingGroup = "Recording";
constexpr const char* kChatGroup = "Chat";
constexpr size_t kMaxFileSize = 1 << 20;

struct Key {
    const char* name;
    std::string support::Settings::*field;
};

template <class Group>
struct Switch {
    const char* name;
    bool Group::*field;
};

constexpr std::array<Switch<RecordingSettings>, 2> kSwitches{{
    {"ChatSound", &RecordingSettings::chatSound},
    {"Microphone", &RecordingSettings::microphone},
}};

constexpr std::array<Switch<ChatSettings>, 1> kChatSwitches{{
    {"SpellChecking", &ChatSettings::spellChecking},
}};

constexpr std::array<Key, 4> kKeys{{
    {"UpdateBase", &support::Settings::updateBaseAddress},
    {"ChatStart", &support::Settings::chatStartAddress},
    {"StatisticsPage", &support::Settings::statisticsPageAddress},
    {"UploadPage", &support::Settings::uploadPageAddress},
}};

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// GKeyFile's parse errors do not say where. Each line is parsed again on its
// own, after stand-in group lines that give it its context: none before the
// first group, one in the first group, two in any other (GKeyFile checks the
// Encoding key in the first group only). The first line that fails is found in
// one pass, and a long group name is never parsed again.
int firstBadLine(std::string_view text) {
    std::optional<std::string> startGroup;
    bool inStartGroup = false;
    int number = 0;
    for (size_t begin = 0; begin < text.size(); ++number) {
        const size_t newline = std::min(text.find('\n', begin), text.size());
        const std::string_view line = text.substr(begin, newline - begin);
        begin = newline + 1;
        const std::string ended = std::string(line) + '\n';
        const std::string probe = (!startGroup    ? ""
                                   : inStartGroup ? "[a]\n"
                                                  : "[a]\n[b]\n") +
                                  ended;
        g_autoptr(GKeyFile) inContext = g_key_file_new();
        if (!g_key_file_load_from_data(inContext, probe.data(), probe.size(), G_KEY_FILE_NONE,
                                       nullptr))
            return number + 1;
        const size_t start = line.find_first_not_of(" \t\n\v\f\r");
        if (start == std::string_view::npos || line[start] != '[') continue;
        // A group line: alone, it is the start group of its own file.
        g_autoptr(GKeyFile) alone = g_key_file_new();
        g_key_file_load_from_data(alone, ended.data(), ended.size(), G_KEY_FILE_NONE, nullptr);
        g_autofree gchar* name = g_key_file_get_start_group(alone);
        if (!name) continue;
        if (!startGroup) startGroup = name;
        inStartGroup = *startGroup == name;
    }
    return number;
}

// The line of each key of a group (the last one, as GKeyFile keeps the last of
// repeated keys).
std::map<std::string, int> keyLines(const std::string& text, const char* group) {
    std::map<std::string, int> lines;
    bool inGroup = false;
    int number = 0;
    for (const std::string& raw : support::split(text, '\n')) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == std::string("[") + group + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (inGroup && equals != std::string::npos) lines[trimmed(line.substr(0, equals))] = number;
    }
    return lines;
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// Why a value cannot be the address of name, or empty when it can: it must be
// http or https with a host, and hold no control character (which would end
// up in the log and in requests) and no user name or password (which the log
// of the addresses would show). A refused value is quoted only when that
// cannot leak a password.
std::string addressProblem(const std::string& name, const std::string& value) {
    if (std::ranges::any_of(value, isControl)) return name + " contains a control character";
    g_autoptr(GUri) uri = g_uri_parse(value.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (uri && g_uri_get_userinfo(uri)) {
        g_autofree gchar* shown = g_uri_to_string_partial(uri, G_URI_HIDE_USERINFO);
        return name + " holds a user name or password, which an address here may not: \"" + shown +
               "\"";
    }
    const char* scheme = uri ? g_uri_get_scheme(uri) : nullptr;
    const char* host = uri ? g_uri_get_host(uri) : nullptr;
    if (scheme &&
        (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
        host && *host)
        return {};
    std::string problem = name + " is not an http or https address";
    if (value.find('@') == std::string::npos) problem += ": \"" + value + "\"";
    return problem;
}

// The file's text, or nothing after a warning that says why. The file is
// opened without blocking and checked before it is read, so that a FIFO or a
// device in its place cannot stop start-up and a huge file cannot slow it.
std::optional<std::string> readText(const std::string& path, const Warn& warn) {
    auto cannotRead = [&](int code) {
        warn(path + ": cannot be read (" + g_strerror(code) + "); the file is ignored");
        return std::nullopt;
    };
    const int fd = g_open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        // A file that is not there is the usual case, not a problem.
        const int code = errno;
        if (code == ENOENT) return std::nullopt;
        return cannotRead(code);
    }
    struct Closer {
        int fd;
        ~Closer() { g_close(fd, nullptr); }
    } closer{fd};
    struct stat info;
    if (fstat(fd, &info) != 0) return cannotRead(errno);
    if (!S_ISREG(info.st_mode)) {
        warn(path + ": not a regular file; the file is ignored");
        return std::nullopt;
    }
    const std::string tooLarge = path + ": larger than 1 MiB; the file is ignored";
    if (info.st_size > static_cast<off_t>(kMaxFileSize)) {
        warn(tooLarge);
        return std::nullopt;
    }
    // Read one byte past the limit, in case the file grew since fstat.
    std::string text(kMaxFileSize + 1, '\0');
    size_t length = 0;
    while (length < text.size()) {
        const ssize_t got = read(fd, text.data() + length, text.size() - length);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return cannotRead(errno);
        length += static_cast<size_t>(got);
    }
    if (length > kMaxFileSize) {
        warn(tooLarge);
        return std::nullopt;
    }
    text.resize(length);
    return text;
}

// A group of switches ([Recording], [Chat]): each true or false, else it keeps its value.
template <class Group, std::size_t Count>
void readSwitches(GKeyFile* file, const std::string& path, const std::string& text,
                  const char* group, const std::array<Switch<Group>, Count>& switches,
                  Group& values, const Warn& warn) {
    std::string known;
    for (const auto& key : switches) known += (known.empty() ? "" : ", ") + std::string(key.name);
    const std::map<std::string, int> lines = keyLines(text, group);
    auto where = [&](const std::string& key) {
        auto found = lines.find(key);
        return path + ":" +
               (found == lines.end() ? std::string("?") : std::to_string(found->second));
    };
    g_auto(GStrv) names = g_key_file_get_keys(file, group, nullptr, nullptr);
    for (gchar** name = names; name && *name; ++name) {
        const Switch<Group>* key = nullptr;
        for (const auto& candidate : switches)
            if (g_strcmp0(candidate.name, *name) == 0) key = &candidate;
        if (!key) {
            warn(where(*name) + ": unknown key \"" + *name + "\" in [" + group +
                 "] (known: " + known + ")");
            continue;
        }
        g_autoptr(GError) error = nullptr;
        const gboolean value = g_key_file_get_boolean(file, group, *name, &error);
        if (error) {
            warn(where(*name) + ": " + *name + " is not true or false; it keeps " +
                 (values.*key->field ? "true" : "false"));
            continue;
        }
        values.*key->field = value;
    }
}

void readFile(const std::string& path, support::Settings& settings, RecordingSettings* recording,
              ChatSettings* chat, const Warn& warn) {
    const std::optional<std::string> read = readText(path, warn);
    if (!read) return;
    const std::string& text = *read;

    g_autoptr(GError) error = nullptr;
    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, &error)) {
        // GKeyFile's own text quotes the line, which may hold a password.
        const char* why =
            g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_PARSE)
                ? "not a [group], a key=value line or a comment"
            : g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_UNKNOWN_ENCODING)
                ? "not UTF-8 text"
                : "not a settings file";
        warn(path + ":" + std::to_string(firstBadLine(text)) + ": " + why +
             "; the file is ignored");
        return;
    }

    if (recording) readSwitches(file, path, text, kRecordingGroup, kSwitches, *recording, warn);
    if (chat) readSwitches(file, path, text, kChatGroup, kChatSwitches, *chat, warn);
    const std::map<std::string, int> lines = keyLines(text, kGroup);
    auto where = [&](const std::string& key) {
        auto found = lines.find(key);
        return path + ":" +
               (found == lines.end() ? std::string("?") : std::to_string(found->second));
    };
    g_auto(GStrv) names = g_key_file_get_keys(file, kGroup, nullptr, nullptr);
    for (gchar** name = names; name && *name; ++name) {
        const Key* key = nullptr;
        for (const Key& known : kKeys)
            if (g_strcmp0(known.name, *name) == 0) key = &known;
        if (!key) {
            warn(where(*name) + ": unknown key \"" + *name + "\" in [" + kGroup +
                 "] (known: UpdateBase, ChatStart, StatisticsPage, UploadPage)");
            continue;
        }
        g_autofree gchar* value = g_key_file_get_string(file, kGroup, *name, &error);
        if (!value) {
            // GKeyFile's text for a value that is not UTF-8 quotes the value.
            const std::string why =
                g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_UNKNOWN_ENCODING)
                    ? std::string(*name) + " is not UTF-8 text"
                    : error->message;
            warn(where(*name) + ": " + why + "; " + *name + " keeps " + settings.*key->field);
            g_clear_error(&error);
            continue;
        }
        const std::string problem = addressProblem(*name, value);
        if (problem.empty())
            settings.*key->field = value;
        else
            warn(where(*name) + ": " + problem + "; it keeps " + settings.*key->field);
    }
}

}  // namespace

std::vector<std::string> settingsFiles() {
    g_autofree gchar* user =
        g_build_filename(g_get_user_config_dir(), "whirligigcam", "whirligigcam.conf", nullptr);
    return {SystemSettingsFile, user};
}

support::Settings loadSettings(support::Settings defaults, const std::vector<std::string>& files,
                               const std::function<void(const std::string&)>& warn,
                               RecordingSettings* recording, ChatSettings* chat) {
    for (const std::string& path : files) readFile(path, defaults, recording, chat, warn);
    return defaults;
}

}  // namespace desktop
