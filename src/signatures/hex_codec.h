// The hex text codec: byte data written as text (signatures in the
// description script, the text form of compiled signatures, binary registry
// data of the script's actions).
//
// Thread-safe: the functions keep no state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace signatures {

// Two uppercase digits per byte ("0123456789ABCDEF"), high nibble first; the
// result is 2 x bytes.size() characters long.
std::string HexEncode(std::span<const std::uint8_t> bytes);

// Strict decoding. Spaces, tabs, CR and LF between pairs are skipped. A digit
// directly followed by one of them is dropped with it ("4 4142" gives 41 42),
// and a lone digit at the end is ignored. Digits are accepted in either case.
// Returns: the bytes; nothing when the text holds any other character.
std::optional<std::vector<std::uint8_t>> HexDecode(std::string_view text);

// The same decoding, but a bad character is reported and skipped instead of
// failing: "bad character 0x%02X encountered at position %d, skipping\n" is
// written to `messages` with the character taken as a signed 8-bit value and
// its position counted from 1. A bad first digit of a pair is skipped alone;
// a bad second digit drops the pair. Never fails on content. A null
// `messages` writes nothing.
std::vector<std::uint8_t> HexDecodeLenient(std::string_view text, std::FILE* messages = stderr);

}  // namespace signatures
