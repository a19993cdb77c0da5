// The program's string table. Its one source is resources/strings.def, which
// feeds both the Windows STRINGTABLE resource and this lookup for builds
// without resources. The program itself reads texts through the platform
// (platform::Resources::LoadStringResource), which on Windows is LoadStringW.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace strings {

struct Entry {
  std::uint32_t id;
  std::u16string_view text;
};

// Every entry, sorted by number.
std::span<const Entry> Table();

// The text of string `id`, or nothing when the table has no such string.
std::optional<std::u16string_view> Find(std::uint32_t id);

}  // namespace strings
