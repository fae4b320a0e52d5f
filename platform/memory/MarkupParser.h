#pragma once
// Parses the small subset of HTML the in-memory page needs: elements with
// quoted or bare attributes, void and self-closed elements, text, comments
// and the five basic character references.

#include <memory>
#include <string>
#include <vector>

#include "platform/memory/MemoryPage.h"

namespace memory {

// The top-level nodes of a fragment. Throws support::Failure on mark-up it
// cannot read (an unterminated tag).
std::vector<std::shared_ptr<MemoryElement>> parseMarkup(const std::shared_ptr<World>& world,
                                                        const std::string& html);

std::string decodeEntities(const std::string& text);

}  // namespace memory
