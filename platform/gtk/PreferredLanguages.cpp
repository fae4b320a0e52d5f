#include "platform/gtk/PreferredLanguages.h"

#include <algorithm>

namespace gtkui {

std::vector<std::string> webLanguages(const std::vector<std::string>& localeNames) {
    std::vector<std::string> languages;
    for (const std::string& name : localeNames) {
        // Only the plain forms: "de_DE", "de" (not "de_DE.UTF-8", "de@euro").
        if (name.empty() || name == "C" || name == "POSIX" ||
            name.find_first_of(".@") != std::string::npos)
            continue;
        std::string language = name;
        std::replace(language.begin(), language.end(), '_', '-');
        if (std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.push_back(language);
    }
    if (languages.empty()) languages.push_back("en-US");
    return languages;
}

void setPreferredLanguages(WebKitWebContext* context) {
    std::vector<std::string> names;
    for (const gchar* const* name = g_get_language_names(); *name; ++name) names.push_back(*name);
    const std::vector<std::string> languages = webLanguages(names);
    std::vector<const gchar*> list;
    for (const std::string& language : languages) list.push_back(language.c_str());
    list.push_back(nullptr);
    webkit_web_context_set_preferred_languages(context, list.data());
}

}  // namespace gtkui
