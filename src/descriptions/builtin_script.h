// The built-in description script (resources/description_script.txt) as data,
// for the native builds and the tests; the Windows programs carry it as their
// resource SCRIPTFILE 161 instead.
#pragma once

#include <cstdint>
#include <span>

namespace descriptions {

// The file's bytes: UTF-16LE with byte-order mark and CR LF line ends.
std::span<const std::uint8_t> BuiltInScriptBytes();

}  // namespace descriptions
