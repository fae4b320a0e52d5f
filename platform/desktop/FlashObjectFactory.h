#pragma once
// Scripting objects of the Flash player, created by ProgID
// "ShockwaveFlash.ShockwaveFlash.<N>". The object exists when a Flash player
// plugin of major version N or later is installed; it answers "$version" in
// the player's own form ("LNX 32,0,0,465"). Of several installed players the
// newest counts. Without an installed plugin, the Flash player bundled with
// the client (a folder holding the Ruffle emulator) stands in for it and
// answers "LNX 32,0,0,0", the version its movies see. A simulating factory
// always has a player 32.0.0.465.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Failure.h"
#include "platform/Services.h"
#include "platform/desktop/FlashPlayerVersion.h"

namespace desktop {

class FlashObjectFactory : public platform::ObjectFactory {
public:
    explicit FlashObjectFactory(bool simulate);
    // Looks for the plugin in the given folders instead of the usual ones, and
    // for the bundled player in bundledPlayer (empty: no bundled player).
    FlashObjectFactory(bool simulate, std::vector<std::string> searchRoots,
                       std::string bundledPlayer = {});

    // Throws platform::Failure for any other ProgID, and when no player of
    // that major version or later is installed.
    std::shared_ptr<platform::ScriptableObject> CreateObject(const std::string& progId) override;

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
