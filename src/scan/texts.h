// Loading the string table's texts; their numbers are in common/string_ids.h.
// The scanners, the removal code, the handlers and the window all write
// their texts by number.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace scan {

// The text of string `id`, or an empty text when it cannot be loaded.
inline std::u16string LoadText(platform::System& system, std::uint32_t id) {
  return system.resources().LoadStringResource(id).value_or(std::u16string());
}

}  // namespace scan
