// Signatures: the hex text of a SIGNATURE_FILE or SIGNATURE_MEM line, and the
// fixed 15-byte record it is compiled to. A signature is never kept whole at
// run time: it is recognised by its first five bytes, its rarest 16-bit word
// (the anchor) and a CRC over the rest. How the anchor is chosen and how the
// records are searched for: signature_index.h.
//
// Thread-safe: the functions keep no state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "signatures/word_frequency.h"

namespace signatures {

// Limits of a signature: at most 8192 hex characters, and at least 32 bytes
// once decoded (so 32 to 4096 bytes).
inline constexpr std::size_t kMaxSignatureTextLength = 8192;
inline constexpr std::size_t kMinSignatureLength = 32;

// The bytes of a compiled signature, and the length of its text form.
inline constexpr std::size_t kCompiledSignatureSize = 15;
inline constexpr std::size_t kCompiledSignatureTextLength = 2 * kCompiledSignatureSize;
inline constexpr std::size_t kSignaturePrefixLength = 5;

// The preset of every signature CRC.
inline constexpr std::uint32_t kSignatureCrcPreset = 0x04C11DB7;

// A compiled signature. Its 15-byte layout, multi-byte fields little-endian:
//   0..4   prefix        the signature's first five bytes
//   5..6   anchor word   the two bytes at the anchor offset, the first in the low half
//   7..8   length        the signature's length in bytes
//   9..10  anchor offset where the anchor word starts, 0 to length - 2
//   11..14 CRC           SignatureCrc(kSignatureCrcPreset, bytes 5 to length - 1)
// Fifteen zero bytes stand for a missing signature.
struct CompiledSignature {
  std::array<std::uint8_t, kSignaturePrefixLength> prefix{};
  std::uint16_t anchorWord = 0;
  std::uint16_t length = 0;
  std::uint16_t anchorOffset = 0;
  std::uint32_t crc = 0;

  std::array<std::uint8_t, kCompiledSignatureSize> ToBytes() const;
  static CompiledSignature FromBytes(std::span<const std::uint8_t, kCompiledSignatureSize> bytes);

  friend bool operator==(const CompiledSignature&, const CompiledSignature&) = default;
};

// The CRC of signatures: the byte step of the common reflected CRC-32
// (polynomial 0xEDB88320), started at `preset` and without a final inversion.
// Every caller passes kSignatureCrcPreset; "abc" gives 0x197BEE7B and no bytes
// give the preset itself. CRCs of this kind are linear, so four free bytes of
// data can steer the result to any value.
std::uint32_t SignatureCrc(std::uint32_t preset, std::span<const std::uint8_t> bytes);

// The anchor offset of a signature: the position p (0 to size - 2) of the
// word bytes[p] + 256 x bytes[p + 1] with the smallest count in `table`, the
// earliest on equal counts; 0 for fewer than two bytes.
std::size_t ChooseAnchor(std::span<const std::uint8_t> bytes, const WordFrequencyTable& table);
// The same with the built-in table.
std::size_t ChooseAnchor(std::span<const std::uint8_t> bytes);

// Compiles a signature text (nothing stands for a missing one).
// Returns: the text form of the compiled signature, its 15 bytes as 30
// uppercase hex digits in record order; nothing when the text is missing,
// longer than 8192 characters, holds a character other than hex digits and
// blanks, or decodes to fewer than 32 bytes. Reports nothing itself.
std::optional<std::string> CompileSignature(std::optional<std::string_view> text);
// The same compilation, answering the record itself.
std::optional<CompiledSignature> CompileSignatureRecord(std::optional<std::string_view> text);

// Compiles signature bytes directly (32 to 65535 of them; otherwise nothing).
// For tests and tools: the program compiles texts.
std::optional<CompiledSignature> CompileSignatureBytes(std::span<const std::uint8_t> bytes);

}  // namespace signatures
