#include <string>

#include "app/Main.h"

namespace app {

using platform::attempt;

FlashAnswer Main::FlashVersion(int major) {
    FlashAnswer answer = 0;
    std::shared_ptr<platform::ScriptableObject> player;
    attempt([&] {
        player = host_.objects().CreateObject("ShockwaveFlash.ShockwaveFlash." +
                                               std::to_string(major));
    });
    if (player) attempt([&] { answer = player->GetVariable("$version"); });
    player.reset();
    return answer;
}

}  // namespace app
