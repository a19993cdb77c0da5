#include "signatures/signature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "signatures/hex_codec.h"
#include "signatures/word_frequency.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using signatures::CompiledSignature;

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(SignatureCrcTest, PresetAndNoFinalInversion) {
  EXPECT_EQ(signatures::SignatureCrc(signatures::kSignatureCrcPreset, BytesOf("abc")), 0x197BEE7Bu);
  EXPECT_EQ(signatures::SignatureCrc(signatures::kSignatureCrcPreset, Bytes{}), 0x04C11DB7u);
  // With the common preset and a final inversion the step is the common
  // CRC-32's, whose check value is 0xCBF43926.
  EXPECT_EQ(~signatures::SignatureCrc(0xFFFFFFFF, BytesOf("123456789")), 0xCBF43926u);
}

TEST(SignatureCrcTest, EveryLengthAndStartAgreesWithTheByteLoop) {
  std::mt19937 random(7);
  Bytes data(64);
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  // The byte loop written out, with the table built bit by bit.
  const auto byteLoop = [](std::span<const std::uint8_t> bytes) {
    std::uint32_t r = signatures::kSignatureCrcPreset;
    for (std::uint8_t b : bytes) {
      r ^= b;
      for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    }
    return r;
  };
  for (std::size_t from : {0, 1, 3}) {
    for (std::size_t n = 0; from + n <= data.size(); ++n) {
      const auto part = std::span(data).subspan(from, n);
      EXPECT_EQ(signatures::SignatureCrc(signatures::kSignatureCrcPreset, part), byteLoop(part))
          << from << " " << n;
    }
  }
}

TEST(ChooseAnchorTest, SmallestCountEarliestOnTies) {
  // Every word counts 100 except those set below.
  signatures::WordFrequencyTable table;
  table.fill(100);
  table[0x0201] = 50;  // bytes 01 02
  table[0x0403] = 50;  // bytes 03 04
  table[0x0605] = 10;  // bytes 05 06
  table[0x0807] = 10;  // bytes 07 08
  const struct {
    const char* label;
    Bytes bytes;
    std::size_t anchor;
  } cases[] = {
      {"no rarer word: position 0", {0xAA, 0xBB, 0xCC, 0xDD}, 0},
      {"fewer than two bytes", {0x05}, 0},
      {"no bytes", {}, 0},
      {"two bytes", {0x05, 0x06}, 0},
      {"rarest word wins", {0xAA, 0x01, 0x02, 0xAA, 0x05, 0x06, 0xAA}, 4},
      {"equal counts: the earliest", {0xAA, 0x03, 0x04, 0x01, 0x02}, 1},
      {"equal smallest counts: the earliest", {0x07, 0x08, 0x05, 0x06}, 0},
      {"the word at the last position counts", {0xAA, 0xAA, 0xAA, 0x05, 0x06}, 3},
      {"words overlap: 02 03 is a word too", {0x01, 0x02, 0x03, 0x04}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(signatures::ChooseAnchor(c.bytes, table), c.anchor) << c.label;
  }
}

TEST(WordFrequencyTest, BuiltInTableHasNoZeroAndRanksCommonWordsHigh) {
  const signatures::WordFrequencyTable& table = signatures::BuiltInWordFrequencies();
  EXPECT_EQ(*std::min_element(table.begin(), table.end()) > 0, true);
  EXPECT_EQ(std::max_element(table.begin(), table.end()) - table.begin(), 0x0000);
  // Padding and filler of programs are common; the executable's magic is rare.
  EXPECT_GT(table[0xFFFF], table[0x5A4D]);
  EXPECT_GT(table[0x9090], table[0x5A4D]);
}

TEST(CompiledSignatureTest, FifteenBytesLittleEndianInRecordOrder) {
  const CompiledSignature record{{1, 2, 3, 4, 5}, 0x0706, 0x0908, 0x0B0A, 0x0F0E0D0C};
  const auto bytes = record.ToBytes();
  EXPECT_EQ(signatures::HexEncode(bytes), "0102030405060708090A0B0C0D0E0F");
  EXPECT_EQ(CompiledSignature::FromBytes(bytes), record);
}

// A valid signature text of `bytes` bytes.
std::string SignatureText(std::size_t bytes, std::uint32_t seed = 1) {
  std::mt19937 random(seed);
  Bytes data(bytes);
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  return signatures::HexEncode(data);
}

TEST(CompileSignatureTest, FieldsOfTheCompiledRecord) {
  const std::string text = SignatureText(100);
  const Bytes bytes = *signatures::HexDecode(text);
  const std::optional<std::string> compiled = signatures::CompileSignature(text);
  ASSERT_TRUE(compiled.has_value());
  ASSERT_EQ(compiled->size(), 30u);
  EXPECT_EQ(compiled->find_first_not_of("0123456789ABCDEF"), std::string::npos);

  const Bytes recordBytes = *signatures::HexDecode(*compiled);
  const CompiledSignature record =
      CompiledSignature::FromBytes(std::span<const std::uint8_t, 15>(recordBytes.data(), 15));
  EXPECT_TRUE(std::equal(record.prefix.begin(), record.prefix.end(), bytes.begin()));
  EXPECT_EQ(record.length, 100);
  EXPECT_EQ(record.anchorOffset, signatures::ChooseAnchor(bytes));
  EXPECT_EQ(record.anchorWord, bytes[record.anchorOffset] | bytes[record.anchorOffset + 1] << 8);
  EXPECT_EQ(record.crc,
            signatures::SignatureCrc(signatures::kSignatureCrcPreset, std::span(bytes).subspan(5)));
}

TEST(CompileSignatureTest, Limits) {
  const std::string maxText = SignatureText(4096);
  ASSERT_EQ(maxText.size(), 8192u);
  const struct {
    const char* label;
    std::optional<std::string> text;
    bool compiles;
  } cases[] = {
      {"32 bytes", SignatureText(32), true},
      {"31 bytes", SignatureText(31), false},
      {"8192 characters", maxText, true},
      {"8193 characters, the last a blank", maxText + " ", false},
      {"odd final digit ignored", SignatureText(32) + "A", true},
      {"blanks inside", SignatureText(16) + " \r\n\t" + SignatureText(16), true},
      {"bad character", SignatureText(40) + "G0", false},
      {"empty", std::string(), false},
      {"missing", std::nullopt, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(signatures::CompileSignature(c.text).has_value(), c.compiles) << c.label;
  }
}

TEST(CompileSignatureTest, LowerCaseCompilesLikeUpperCase) {
  std::string text = SignatureText(64);
  const auto upper = signatures::CompileSignature(text);
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  EXPECT_EQ(signatures::CompileSignature(text), upper);
}

TEST(CompileSignatureTest, AllWordsEqualAnchorsAtZero) {
  const auto compiled = signatures::CompileSignature(std::string(8192, 'A'));
  ASSERT_TRUE(compiled.has_value());
  // Prefix AA x 5, anchor word AAAA, length 4096, offset 0.
  EXPECT_EQ(compiled->substr(0, 22),
            "AAAAAAAAAAAAAA"
            "0010"
            "0000");
}

}  // namespace
