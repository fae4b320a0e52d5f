#include <string>

#include "app/Main.h"

namespace app {

using platform::attempt;

FlashAnswer Main::FlashVersion(int major) {
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

}  // namespace app
