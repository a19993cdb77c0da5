// Reading numbers and text out of bytes: little-endian fields (executable
// headers, stream headers, registry data, compiled signatures) and UTF-16LE
// text (registry strings, resources, stream names). Nothing here reads past
// the bytes it is given unless a function says that the caller must hold
// them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace bytes {

// The little-endian value of `width` bytes (at most 8) at `offset` of
// `bytes`, which must hold them.
inline std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset,
                                  std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

inline std::uint16_t LittleEndian16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(LittleEndian(bytes, offset, 2));
}

inline std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(LittleEndian(bytes, offset, 4));
}

// The little-endian value of `N` bytes at `offset` of a fixed array (N is 2
// or 4); bytes past the array's end count as zero.
template <std::size_t N, std::size_t Size>
constexpr std::uint32_t LittleEndianAt(const std::array<std::uint8_t, Size>& bytes,
                                       std::size_t offset) {
  static_assert(N <= 4);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < N && offset + i < Size; ++i) {
    value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

// Writes the `width` low bytes of `value` (at most 8) little-endian at
// `offset` of `bytes`, which must hold them.
inline void PutLittleEndian(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value,
                            std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// The UTF-16LE text of `bytes`, every code unit of it, zeros included; an odd
// last byte is left out.
inline std::u16string Utf16Le(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return text;
}

// The UTF-16LE text of `bytes` up to its first zero character, or all of it
// when there is none; an odd last byte is left out.
inline std::u16string Utf16LeUntilZero(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  return text;
}

}  // namespace bytes
