// Readers of two resource formats of Windows modules, as pure functions over
// bytes: the string table's blocks and the version resource (VS_VERSIONINFO).
// Neither needs the system: the Win32 backend hands them the bytes of a
// loaded resource, tests bytes of their own. Any bytes are safe input;
// nothing is read outside the span given, and what they find is told as a
// place in it (an offset and a length), so that a caller can answer a
// pointer into the resource as the system's functions do.
//
// Both formats store their numbers and text little-endian, text as UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace platform {

// --- The string table ---
//
// Strings are stored in blocks of 16, resource type RT_STRING (6), the block
// of string `id` named by the number (id bits 4 to 15) + 1. Each string is a
// count of UTF-16 units followed by the units, without a terminating zero;
// a missing string has the count 0.

inline constexpr std::uint16_t kStringTableResourceType = 6;

// The number that names the block holding string `id`.
constexpr std::uint16_t StringBlockOf(std::uint32_t id) {
  return static_cast<std::uint16_t>(((id & 0xFFFF) >> 4) + 1);
}

// A text inside a block: its offset in bytes from the block's start and its
// length in UTF-16 units.
struct TextPlace {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// String `id` (bits 0 to 3 pick it in the block) of `block`; nullopt when
// the block ends before it or its count runs past the block's end. An odd
// last byte belongs to no unit.
std::optional<TextPlace> FindStringInBlock(std::span<const std::uint8_t> block, std::uint32_t id);

// --- The version resource ---
//
// A tree of nodes, each: wLength (the node's bytes, children included),
// wValueLength, wType (1: the value is text, counted in UTF-16 units;
// 0: bytes), the key as UTF-16 up to a zero, then the value and the children,
// each aligned to 4 bytes from the block's start. The root's key is
// "VS_VERSION_INFO" and its value the fixed file information.

enum class VersionQueryStatus {
  kFound,
  kInvalidBlock,  // the root is cut short or is no VS_VERSION_INFO
  kNotFound,      // a key of the path names no child
};

struct VersionQueryResult {
  VersionQueryStatus status = VersionQueryStatus::kInvalidBlock;
  // The value's offset from the block's start, and wValueLength as stored
  // (bytes, or UTF-16 units of a text value); when found.
  std::size_t offset = 0;
  std::uint16_t valueLength = 0;
};

// The value at `path` in the version block `block`, as VerQueryValueW finds
// it: the path's keys are separated by backslashes (leading, doubled and
// trailing ones are ignored), each naming a child of the node before;
// "\" is the root (the fixed file information), "\VarFileInfo\Translation"
// and "\StringFileInfo\<language><code page>\<name>" the values below. Keys
// compare without regard to ASCII case. A child that is cut short ends the
// search among its siblings. The root's wLength must lie within the span;
// nothing past it is read.
VersionQueryResult QueryVersionBlock(std::span<const std::uint8_t> block, std::u16string_view path);

}  // namespace platform
