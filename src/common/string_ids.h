// The numbers of the string table entries under their names, made from
// resources/strings.def: strings::kWindowTitle is string 52, and so on.
#pragma once

#include <cstdint>

namespace strings {

#define QRT_STRING(id, name, text) inline constexpr std::uint32_t k##name = id;
#include "strings.def"
#undef QRT_STRING

}  // namespace strings
