#pragma once
// The installed Flash player: a Flash player plugin of the asked major
// version or later, whose version is told in the player's own form ("LNX
// 32,0,0,465"). Of several installed players the newest counts. Without an
// installed plugin, the Flash player bundled with the client (a folder
// holding the Ruffle emulator) stands in for it and answers "LNX 32,0,0,0",
// the version its movies see. A simulating instance always has a player
// 32.0.0.465.

#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "platform/desktop/FlashPlayerVersion.h"
#include "support/Failure.h"

namespace desktop {

class FlashPlayers : public platform::FlashPlayerService {
public:
    explicit FlashPlayers(bool simulate);
    // Looks for the plugin in the given folders instead of the usual ones, and
    // for the bundled player in bundledPlayer (empty: no bundled player).
    FlashPlayers(bool simulate, std::vector<std::string> searchRoots,
                 std::string bundledPlayer = {});

    // Throws support::Failure when no player of that major version or later
    // is installed.
    std::string installedVersion(int minimumMajor) override;

    // The newest installed player whose version can be read, else the bundled
    // player, if any.
    std::optional<FlashPlayerVersion> installedPlayer() const;

    // Where browsers' Flash player plugins are installed on Linux systems.
    static std::vector<std::string> defaultSearchRoots();

private:
    bool simulate_;
    std::vector<std::string> searchRoots_;
    std::string bundledPlayer_;
};

}  // namespace desktop
