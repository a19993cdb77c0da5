#include "signatures/hex_codec.h"

namespace signatures {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of a hex digit of either case, or -1.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void ReportBadCharacter(std::FILE* messages, char c, std::size_t position) {
  if (messages == nullptr) return;
  std::fprintf(messages, "bad character 0x%02X encountered at position %d, skipping\n",
               static_cast<int>(static_cast<signed char>(c)), static_cast<int>(position));
}

// The one decoding walk; `messages` is only used when `lenient`.
std::optional<std::vector<std::uint8_t>> Decode(std::string_view text, bool lenient,
                                                std::FILE* messages) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsSeparator(text[i])) {
      ++i;
      continue;
    }
    const int high = DigitValue(text[i]);
    if (high < 0) {
      if (!lenient) return std::nullopt;
      ReportBadCharacter(messages, text[i], i + 1);
      ++i;
      continue;
    }
    if (i + 1 == text.size()) break;
    const char next = text[i + 1];
    if (!IsSeparator(next)) {
      const int low = DigitValue(next);
      if (low >= 0) {
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
      } else {
        if (!lenient) return std::nullopt;
        ReportBadCharacter(messages, next, i + 2);
      }
    }
    i += 2;
  }
  return bytes;
}

}  // namespace

std::string HexEncode(std::span<const std::uint8_t> bytes) {
  std::string text(bytes.size() * 2, '0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> HexDecode(std::string_view text) {
  return Decode(text, false, nullptr);
}

std::vector<std::uint8_t> HexDecodeLenient(std::string_view text, std::FILE* messages) {
  return *Decode(text, true, messages);
}

}  // namespace signatures
