#include "platform/desktop/SettingsFile.h"

#include <glib.h>

#include <array>
#include <map>
#include <memory>

#include "platform/Split.h"

namespace desktop {

namespace {

constexpr const char* kGroup = "Addresses";

struct Key {
    const char* name;
    std::string app::Settings::*field;
};

constexpr std::array<Key, 4> kKeys{{
    {"UpdateBase", &app::Settings::updateBaseAddress},
    {"ChatStart", &app::Settings::chatStartAddress},
    {"StatisticsPage", &app::Settings::statisticsPageAddress},
    {"UploadPage", &app::Settings::uploadPageAddress},
}};

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// GKeyFile's parse errors do not say where: the first prefix of the text that
// does not parse ends at the line to blame.
int firstBadLine(const std::string& text) {
    size_t end = 0;
    int line = 0;
    while (end < text.size()) {
        end = text.find('\n', end);
        end = end == std::string::npos ? text.size() : end + 1;
        ++line;
        g_autoptr(GKeyFile) prefix = g_key_file_new();
        if (!g_key_file_load_from_data(prefix, text.data(), end, G_KEY_FILE_NONE, nullptr))
            return line;
    }
    return line;
}

// The line of each key of the Addresses group (the last one, as GKeyFile keeps
// the last of repeated keys).
std::map<std::string, int> keyLines(const std::string& text) {
    std::map<std::string, int> lines;
    bool inGroup = false;
    int number = 0;
    for (const std::string& raw : platform::split(text, '\n')) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == std::string("[") + kGroup + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (inGroup && equals != std::string::npos) lines[trimmed(line.substr(0, equals))] = number;
    }
    return lines;
}

// An address the client can use: http or https with a host.
bool isWebAddress(const std::string& value) {
    g_autoptr(GUri) uri = g_uri_parse(value.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return false;
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    const bool ok =
        (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
        host && *host;
    return ok;
}

void readFile(const std::string& path, app::Settings& settings,
              const std::function<void(const std::string&)>& warn) {
    g_autofree gchar* contents = nullptr;
    gsize length = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_file_get_contents(path.c_str(), &contents, &length, &error)) {
        // A file that is not there is the usual case, not a problem.
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT))
            warn(path + ": cannot be read (" + error->message + "); the file is ignored");
        return;
    }
    const std::string text(contents, length);

    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, &error)) {
        warn(path + ":" + std::to_string(firstBadLine(text)) + ": " + error->message +
             "; the file is ignored");
        return;
    }

    const std::map<std::string, int> lines = keyLines(text);
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
            warn(where(*name) + ": " + error->message + "; " + *name + " keeps " +
                 settings.*key->field);
            g_clear_error(&error);
            continue;
        }
        if (isWebAddress(value)) {
            settings.*key->field = value;
        } else {
            warn(where(*name) + ": " + *name + " is not an http or https address: \"" + value +
                 "\"; it keeps " + settings.*key->field);
        }
    }
}

}  // namespace

std::vector<std::string> settingsFiles() {
    g_autofree gchar* user =
        g_build_filename(g_get_user_config_dir(), "whirligigcam", "whirligigcam.conf", nullptr);
    return {SystemSettingsFile, user};
}

app::Settings loadSettings(app::Settings defaults, const std::vector<std::string>& files,
                           const std::function<void(const std::string&)>& warn) {
    for (const std::string& path : files) readFile(path, defaults, warn);
    return defaults;
}

}  // namespace desktop
