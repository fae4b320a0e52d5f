#include <string>

#include "startscreen/StartScreen.h"

namespace startscreen {

using support::attempt;

FlashAnswer StartScreen::flashVersion(int major) {
    FlashAnswer answer = NoFlashPlayer{};
    attempt([&] { answer = FlashPlayerVersion{services_.flashPlayer.installedVersion(major)}; });
    return answer;
}

}  // namespace startscreen
