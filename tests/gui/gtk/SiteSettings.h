#pragma once
// The client's settings for a test site: its update check, chat page,
// statistics page and upload page.

#include <string>

#include "demo/SiteServer.h"
#include "support/Settings.h"

namespace guitest {

inline support::Settings siteSettings(const site::SiteServer& site,
                                      const std::string& chatPath = "/") {
    return {site.address("/update/"), site.address(chatPath), site.address("/stats/index.html"),
            site.address("/my_videos_upload")};
}

}  // namespace guitest
