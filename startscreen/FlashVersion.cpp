#include <string>

#include "startscreen/StartScreen.h"

namespace startscreen {

using platform::attempt;

FlashAnswer StartScreen::flashVersion(int major) {
    FlashAnswer answer = NoFlashPlayer{};
    std::shared_ptr<platform::ScriptableObject> player;
    attempt([&] {
        player = host_.objects().CreateObject("ShockwaveFlash.ShockwaveFlash." +
                                               std::to_string(major));
    });
    if (player) attempt([&] { answer = FlashPlayerVersion{player->GetVariable("$version")}; });
    player.reset();
    return answer;
}

}  // namespace startscreen
