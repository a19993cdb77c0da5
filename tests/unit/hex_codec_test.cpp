#include "signatures/hex_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Runs the lenient decoder and collects what it writes.
struct LenientResult {
  Bytes bytes;
  std::string messages;
};
LenientResult DecodeLenient(std::string_view text) {
  std::FILE* sink = std::tmpfile();
  LenientResult result{signatures::HexDecodeLenient(text, sink), {}};
  std::rewind(sink);
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, sink) != nullptr) result.messages += buffer;
  std::fclose(sink);
  return result;
}

TEST(HexCodecTest, EncodesTwoUppercaseDigitsPerByteHighNibbleFirst) {
  EXPECT_EQ(signatures::HexEncode(Bytes{0x00, 0x0F, 0xA5, 0xFF, 0x10}), "000FA5FF10");
  EXPECT_EQ(signatures::HexEncode(Bytes{}), "");
}

TEST(HexCodecTest, StrictDecoding) {
  const struct {
    const char* label;
    std::string text;
    std::optional<Bytes> bytes;
  } cases[] = {
      {"pairs", "4142", Bytes{0x41, 0x42}},
      {"lower case like upper case", "aBcDeF", Bytes{0xAB, 0xCD, 0xEF}},
      {"blank between pairs", "41 42", Bytes{0x41, 0x42}},
      {"all four blanks", "\t41\r\n42 ", Bytes{0x41, 0x42}},
      {"digit before a blank is dropped", "4 4142", Bytes{0x41, 0x42}},
      {"pairs realign after a dropped digit", "4 142", Bytes{0x14}},
      {"lone final digit ignored", "414", Bytes{0x41}},
      {"lone digit after a blank ignored", "41 4", Bytes{0x41}},
      {"empty text", "", Bytes{}},
      {"bad second digit", "4G", std::nullopt},
      {"bad first digit", "G4", std::nullopt},
      {"bad last character", "4142Z", std::nullopt},
      {"NUL inside",
       std::string("41\0"
                   "42",
                   5),
       std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(signatures::HexDecode(c.text), c.bytes) << c.label;
  }
}

TEST(HexCodecTest, LenientDecodingReportsAndSkipsBadCharacters) {
  const struct {
    const char* label;
    std::string text;
    Bytes bytes;
    std::string messages;
  } cases[] = {
      {"bad second digit drops the pair", "4G41", Bytes{0x41},
       "bad character 0x47 encountered at position 2, skipping\n"},
      {"bad first digit is skipped alone", "G41", Bytes{0x41},
       "bad character 0x47 encountered at position 1, skipping\n"},
      {"one message per bad character", "x41yz42", Bytes{0x41, 0x42},
       "bad character 0x78 encountered at position 1, skipping\n"
       "bad character 0x79 encountered at position 4, skipping\n"
       "bad character 0x7A encountered at position 5, skipping\n"},
      {"a character above 0x7F prints as a negative 8-bit value",
       "\xE9"
       "41",
       Bytes{0x41}, "bad character 0xFFFFFFE9 encountered at position 1, skipping\n"},
      {"good text writes nothing", "41 42", Bytes{0x41, 0x42}, ""},
  };
  for (const auto& c : cases) {
    const LenientResult result = DecodeLenient(c.text);
    EXPECT_EQ(result.bytes, c.bytes) << c.label;
    EXPECT_EQ(result.messages, c.messages) << c.label;
  }
}

TEST(HexCodecTest, DecodingUndoesEncoding) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(signatures::HexDecode(signatures::HexEncode(all)), all);
  EXPECT_EQ(DecodeLenient(signatures::HexEncode(all)).bytes, all);
}

}  // namespace
