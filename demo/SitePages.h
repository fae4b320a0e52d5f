#pragma once
// The demo site's fixed content.

#include <cstddef>
#include <string>

namespace site::pages {

// The chat page as the site sends it, before the client restyles it.
std::string chatPage();
std::string siteCss();
// The page's script of the site's own chat features (see ChatFeatures.cpp).
std::string chatFeatures();
// The page's script of calls to the site's simulated friend (see CallFeatures.cpp).
std::string callFeatures();
std::string advertisement();
// The chat movie (see ChatMovie.h).
std::string chatMovie();
std::string statistics(int visits);
std::string uploadForm();
std::string uploadReceived(std::size_t bytes);

}  // namespace site::pages
