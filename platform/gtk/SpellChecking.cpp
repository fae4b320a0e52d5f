#include "platform/gtk/SpellChecking.h"

#include <algorithm>

#include "support/Log.h"

namespace gtkui {

std::vector<std::string> spellingLanguages(const std::vector<std::string>& localeNames) {
    std::vector<std::string> languages;
    for (const std::string& name : localeNames) {
        // "de_DE.UTF-8@euro" -> "de_DE": the dictionaries are named by language and country.
        const std::string language = name.substr(0, name.find_first_of(".@"));
        if (language.empty() || language == "C" || language == "POSIX") continue;
        if (std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.push_back(language);
    }
    return languages;
}

void setSpellChecking(WebKitWebContext* context, bool on) {
    webkit_web_context_set_spell_checking_enabled(context, on);
    if (!on) {
        support::logInfo("spell checking is off ([Chat] SpellChecking=false)");
        return;
    }
    std::vector<std::string> names;
    for (const gchar* const* name = g_get_language_names(); *name; ++name) names.push_back(*name);
    const std::vector<std::string> wanted = spellingLanguages(names);
    std::vector<const gchar*> list;
    std::string asked;
    for (const std::string& language : wanted) {
        list.push_back(language.c_str());
        asked += (asked.empty() ? "" : ", ") + language;
    }
    list.push_back(nullptr);
    webkit_web_context_set_spell_checking_languages(context, list.data());
    // The engine keeps the languages it found a dictionary for.
    std::string found;
    if (const gchar* const* loaded = webkit_web_context_get_spell_checking_languages(context))
        for (; *loaded; ++loaded) found += (found.empty() ? "" : ", ") + std::string(*loaded);
    static bool toldNoDictionary = false;
    if (!found.empty()) {
        support::logInfo("spell checking in " + found);
    } else if (!toldNoDictionary) {
        toldNoDictionary = true;
        support::logWarning("spell checking finds no dictionary for the locale's languages (" +
                            (asked.empty() ? std::string("none named") : asked) +
                            "): text is not checked");
    }
}

}  // namespace gtkui
