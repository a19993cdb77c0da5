// Loading the string table's texts; their numbers are in common/string_ids.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace app {

// The text of string `id`, or an empty text when it cannot be loaded.
std::u16string LoadText(platform::System& system, std::uint32_t id);

}  // namespace app
