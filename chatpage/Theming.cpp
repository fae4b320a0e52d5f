#include "chatpage/Theming.h"

#include <array>
#include <utility>

namespace chatpage {

using support::attempt;

namespace {

// One inline background value: before + url(image) + after.
struct Background {
    const char* before;
    const char* image;
    const char* after;

    std::string in(platform::App& app) const {
        return std::string(before) + "url(" + app.resourceUrl(image) + ")" + after;
    }
};

const Background kSpanButton{"", "HTML/Img/im_button.gif", " no-repeat"};
const Background kLogo{"", "HTML/Img/logo.gif", " no-repeat right top"};

const std::array<std::pair<const char*, Background>, 5> kDivClasses{{
    {"module-round", {"#d5d8de ", "HTML/Img/tl.gif", " 0 0 no-repeat"}},
    {"module-round2", {"", "HTML/Img/tr.gif", " 100% 0 no-repeat"}},
    {"module-round3", {"", "HTML/Img/bl.gif", " 0 100% no-repeat"}},
    {"module-round4", {"", "HTML/Img/br.gif", " 100% 100% no-repeat"}},
    {"button_im", {"transparent ", "HTML/Img/im_button.gif", " 0 0 no-repeat"}},
}};

const std::array<std::pair<const char*, Background>, 9> kSharePanel{{
    {"ShareThis", {"", "HTML/Img/trans.png", ""}},
    {"facebook", {"", "HTML/Img/facebook.gif", " 5px 4px no-repeat"}},
    {"twitter", {"", "HTML/Img/twitter.gif", " 5px 4px no-repeat"}},
    {"bebo", {"", "HTML/Img/bebo.gif", " 5px 5px no-repeat"}},
    {"myspace", {"", "HTML/Img/myspace.gif", " 5px 4px no-repeat"}},
    {"gmail", {"", "HTML/Img/gmail.gif", " 5px 3px no-repeat"}},
    {"yahoo", {"", "HTML/Img/yahoo.gif", " 5px 3px no-repeat"}},
    {"hotmail", {"", "HTML/Img/hotmail.gif", " 5px 4px no-repeat"}},
    {"aol", {"", "HTML/Img/aol.gif", " 5px 5px no-repeat"}},
}};

}  // namespace

bool MatchesButNamePattern(const std::string& id) {
    return id.size() >= 7 && id.starts_with("but") && id.ends_with("Name");
}

void ThemePageElements(const platform::DocumentRef& document, platform::App& app) {
    platform::ElementCollection spans;
    attempt([&] { spans = document->getElementsByTagName("SPAN"); });
    for (const auto& span : spans) {
        attempt([&] {
            if (MatchesButNamePattern(span->id())) return;
            if (span->className() == "button_im") span->style().background(kSpanButton.in(app));
        });
    }

    platform::ElementCollection divs;
    attempt([&] { divs = document->getElementsByTagName("DIV"); });
    for (const auto& div : divs) {
        attempt([&] {
            const std::string id = div->id();
            if (id == "topbar" || id == "load_msg") div->style().background(kLogo.in(app));
        });
        // Set second, so a class value wins over the logo.
        attempt([&] {
            const std::string className = div->className();
            for (const auto& [name, background] : kDivClasses) {
                if (className == name) {
                    div->style().background(background.in(app));
                    break;
                }
            }
        });
    }

    for (const auto& [id, background] : kSharePanel)
        attempt([&] { document->getElementById(id)->style().background(background.in(app)); });
}

}  // namespace chatpage
