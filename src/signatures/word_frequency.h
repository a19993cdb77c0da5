// How common each 16-bit word is in ordinary data: the table that steers the
// choice of a signature's anchor (signature.h) toward rare words.
//
// The built-in table was counted over a sample of Windows libraries and
// ordinary files by tools/word-frequency; docs/word-frequency.md tells how it
// was made and how to make it again. The build embeds
// resources/word_frequency.bin.
#pragma once

#include <array>
#include <cstdint>

namespace signatures {

// 65536 counts indexed by a word read little-endian from data (the byte at p
// in the low half, the byte at p + 1 in the high half). A larger count means a
// more common word. No count is 0.
using WordFrequencyTable = std::array<std::uint32_t, 65536>;

// The built-in table: read-only program data.
const WordFrequencyTable& BuiltInWordFrequencies();

}  // namespace signatures
