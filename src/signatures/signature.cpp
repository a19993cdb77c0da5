// Compiling a signature and choosing its anchor.
//
// The scanners look up every 16-bit word of the data they read in a table of
// 65536 buckets (signature_index.h). A signature sits in exactly one bucket,
// that of one of its own words, its anchor; every position of the data whose
// word falls into a non-empty bucket costs a walk over that bucket. So the
// anchor should be the word of the signature that is rarest in ordinary data:
// the rarer the anchor, the less often its bucket is visited in vain.
//
// How rare a word is comes from the word frequency table (word_frequency.h),
// counts of every word over about a gigabyte of Windows libraries and other
// ordinary files. Take a signature that starts like a program file:
//
//   position  bytes  word    count
//   0         4D 5A  0x5A4D  2868
//   1         5A 90  0x905A  2801     <- smallest: the anchor
//   2         90 00  0x0090  208818
//   3         00 03  0x0300  3479893
//   4         03 00  0x0003  5716184
//   5         00 00  0x0000  218010176
//   ...
//
// The counts add up to 1088448090, so a random position of such data holds
// word 0x905A with odds of 2801 / 1088448090 = 1 in 388600, and word 0x0000
// with odds of 1 in 5. Anchored on 5A 90, the signature's bucket is visited
// about three times in a megabyte; anchored on 00 00 it would be visited at
// every fifth byte. The scan visits the candidates in order and compares the
// first count strictly, so on equal counts the earliest position stays the
// anchor and the choice is the same on every machine.
//
// The table only steers the speed, never the result: a signature is looked
// up through its own compiled record, whatever anchor that record names.

#include "signatures/signature.h"

#include <vector>

#include "common/bytes.h"
#include "signatures/hex_codec.h"

namespace signatures {
namespace {

// The lookup tables of the reflected polynomial 0xEDB88320: table 0 is the
// byte step's (T[0][1] = 0x77073096); table k advances a byte's remainder
// over k more zero bytes, so that eight bytes take eight independent lookups
// instead of a chain of eight. A search computes this CRC over every
// candidate whose five prefix bytes match, some 25 KB per 128 KB window with
// 100,000 signatures.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    tables[0][i] = r;
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    }
  }
  return tables;
}
constexpr CrcTables kCrcTables = MakeCrcTables();

std::uint32_t CrcStep(std::uint32_t r, std::uint8_t b) {
  return kCrcTables[0][(r ^ b) & 0xFF] ^ (r >> 8);
}

}  // namespace

std::array<std::uint8_t, kCompiledSignatureSize> CompiledSignature::ToBytes() const {
  std::array<std::uint8_t, kCompiledSignatureSize> out{};
  for (std::size_t i = 0; i < kSignaturePrefixLength; ++i) out[i] = prefix[i];
  bytes::PutLittleEndian(out, 5, anchorWord, 2);
  bytes::PutLittleEndian(out, 7, length, 2);
  bytes::PutLittleEndian(out, 9, anchorOffset, 2);
  bytes::PutLittleEndian(out, 11, crc, 4);
  return out;
}

CompiledSignature CompiledSignature::FromBytes(
    std::span<const std::uint8_t, kCompiledSignatureSize> record) {
  CompiledSignature compiled;
  for (std::size_t i = 0; i < kSignaturePrefixLength; ++i) compiled.prefix[i] = record[i];
  compiled.anchorWord = bytes::LittleEndian16(record, 5);
  compiled.length = bytes::LittleEndian16(record, 7);
  compiled.anchorOffset = bytes::LittleEndian16(record, 9);
  compiled.crc = bytes::LittleEndian32(record, 11);
  return compiled;
}

namespace {

// The four bytes at `in` as a little-endian number: one load where the
// processor is little-endian, for the CRC's loop.
std::uint32_t Load32(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

}  // namespace

std::uint32_t SignatureCrc(std::uint32_t preset, std::span<const std::uint8_t> bytes) {
  const auto& t = kCrcTables;
  std::uint32_t r = preset;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    const std::uint32_t low = r ^ Load32(&bytes[i]);
    const std::uint32_t high = Load32(&bytes[i + 4]);
    r = (t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF]) ^
        (t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24]) ^
        (t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF]) ^
        (t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24]);
  }
  for (; i < bytes.size(); ++i) r = CrcStep(r, bytes[i]);
  return r;
}

std::size_t ChooseAnchor(std::span<const std::uint8_t> bytes, const WordFrequencyTable& table) {
  std::size_t anchor = 0;
  if (bytes.size() < 2) return anchor;
  std::uint32_t smallest = table[bytes[0] | (bytes[1] << 8)];
  for (std::size_t p = 1; p + 1 < bytes.size(); ++p) {
    const std::uint32_t count = table[bytes[p] | (bytes[p + 1] << 8)];
    if (count < smallest) {
      smallest = count;
      anchor = p;
    }
  }
  return anchor;
}

std::size_t ChooseAnchor(std::span<const std::uint8_t> bytes) {
  return ChooseAnchor(bytes, BuiltInWordFrequencies());
}

std::optional<CompiledSignature> CompileSignatureBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMinSignatureLength || bytes.size() > 0xFFFF) return std::nullopt;
  CompiledSignature compiled;
  for (std::size_t i = 0; i < kSignaturePrefixLength; ++i) compiled.prefix[i] = bytes[i];
  const std::size_t anchor = ChooseAnchor(bytes);
  compiled.anchorOffset = static_cast<std::uint16_t>(anchor);
  compiled.anchorWord = static_cast<std::uint16_t>(bytes[anchor] | (bytes[anchor + 1] << 8));
  compiled.length = static_cast<std::uint16_t>(bytes.size());
  compiled.crc = SignatureCrc(kSignatureCrcPreset, bytes.subspan(kSignaturePrefixLength));
  return compiled;
}

std::optional<CompiledSignature> CompileSignatureRecord(std::optional<std::string_view> text) {
  if (!text || text->size() > kMaxSignatureTextLength) return std::nullopt;
  const std::optional<std::vector<std::uint8_t>> bytes = HexDecode(*text);
  if (!bytes) return std::nullopt;
  return CompileSignatureBytes(*bytes);
}

std::optional<std::string> CompileSignature(std::optional<std::string_view> text) {
  const std::optional<CompiledSignature> compiled = CompileSignatureRecord(text);
  if (!compiled) return std::nullopt;
  return HexEncode(compiled->ToBytes());
}

}  // namespace signatures
