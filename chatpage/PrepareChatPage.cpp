// Turns the chat site's page into the client's chat screen, once.

#include "chatpage/BodyTemplate.h"
#include "chatpage/ChatPage.h"
#include "chatpage/ReadTextFile.h"
#include "chatpage/Theming.h"

namespace chatpage {

using support::attempt;

namespace {

FlashParameters ReadFlashParameters(const platform::DocumentRef& document) {
    FlashParameters flash;
    platform::ElementCollection objects;
    attempt([&] { objects = document->getElementsByTagName("OBJECT"); });
    // With several objects the last id, "movie" and "flashvars" win.
    for (const auto& object : objects) {
        attempt([&] { flash.objectId = object->id(); });
        platform::ElementCollection params;
        attempt([&] { params = object->getElementsByTagName("PARAM"); });
        // The script access goes with the object whose movie is used.
        bool givesMovie = false;
        std::string scriptAccess;
        for (const auto& param : params) {
            attempt([&] {
                const std::string name = param->name();
                if (name == "movie") {
                    flash.movie = param->value();
                    givesMovie = true;
                } else if (name == "flashvars") {
                    flash.flashvars = param->value();
                    flash.hasFlashvars = true;
                } else if (SameIgnoringCase(name, "allowScriptAccess")) {
                    scriptAccess = param->value();
                }
            });
        }
        if (givesMovie) flash.allowScriptAccess = scriptAccess;
    }
    return flash;
}

}  // namespace

void ChatPage::prepare(const platform::DocumentRef& document) {
    platform::App& app = services_.app;
    auto readResource = [&](const char* relative) {
        return ReadTextFile(services_.files, app.resourcePath(relative));
    };

    attempt([&] { wbstat.Navigate2(addresses_.statisticsPage); });

    platform::ElementRef body;
    attempt([&] { body = document->body(); });
    attempt([&] { body->style().borderStyle("none"); });
    attempt([&] {
        body->style().background("url(" + app.resourceUrl("HTML/Img/bg.gif") +
                                 ") repeat-x #262626");
    });

    const FlashParameters flash = ReadFlashParameters(document);

    // Every sheet the site has now; the client's own sheet comes after.
    std::vector<platform::StyleSheetRef> siteSheets;
    attempt([&] { siteSheets = document->styleSheets(); });
    for (const auto& sheet : siteSheets) attempt([&] { sheet->setDisabled(true); });

    platform::StyleSheetRef sheet;
    attempt([&] { sheet = document->createStyleSheet(); });
    attempt([&] { sheet->setCssText(readResource("HTML/Style.css")); });
    sheet.reset();

    // The script runs as it is appended, before the client's mark-up exists.
    platform::ElementRef script;
    attempt([&] { script = document->createElement("SCRIPT"); });
    attempt([&] { script->setType("text/javascript"); });
    attempt([&] { script->setText(readResource("HTML/Script.js")); });
    attempt([&] {
        platform::ElementCollection heads = document->getElementsByTagName("HEAD");
        if (heads.empty()) throw support::Failure("no HEAD element");
        heads.front()->appendChild(script);
    });
    script.reset();

    std::string markup;
    attempt([&] { markup = readResource("HTML/Body.html"); });
    markup = FillBodyTemplate(std::move(markup), flash);
    attempt([&] { body->insertAdjacentHTML("beforeEnd", markup); });

    ThemePageElements(document, app);

    platform::ElementCollection roots;
    attempt([&] { roots = document->getElementsByTagName("HTML"); });
    for (const auto& root : roots) attempt([&] { root->style().overflow("hidden"); });
    body.reset();

    attempt([&] { calls_.bindRecordButton(document->getElementById("butRec")); });
    attempt([&] { butShare_.bind(document->getElementById("butShare")); });
    attempt([&] { oDocument_.bind(document); });
    attempt([&] { oDocBody_.bind(document->body()); });

    calls_.presentChatScreen();
}

}  // namespace chatpage
