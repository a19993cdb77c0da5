#include "platform/fake/fake_case.h"

#include "common/text.h"

namespace platform::fake {

char16_t NtUpper(char16_t c) {
  const auto minus = [c](int d) { return static_cast<char16_t>(c - d); };
  if (c >= u'a' && c <= u'z') return minus(32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return minus(32);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs, the capital first, except 0x130 to 0x131 (the
  // Turkish i, left alone here), 0x138 (kra) and 0x149 (n with apostrophe),
  // which have none; 0x139 to 0x148 and 0x179 to 0x17E pair odd with even.
  if (c >= 0x100 && c <= 0x12F && (c & 1) != 0) return minus(1);
  if (c >= 0x132 && c <= 0x137 && (c & 1) != 0) return minus(1);
  if (c >= 0x139 && c <= 0x148 && (c & 1) == 0) return minus(1);
  if (c >= 0x14A && c <= 0x177 && (c & 1) != 0) return minus(1);
  if (c >= 0x179 && c <= 0x17E && (c & 1) == 0) return minus(1);
  // Greek: the small letters and their accented forms; final sigma folds
  // to sigma.
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return minus(37);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return minus(32);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return minus(63);
  // Cyrillic: the basic small letters and those with marks (0x450 to 0x45F).
  if (c >= 0x430 && c <= 0x44F) return minus(32);
  if (c >= 0x450 && c <= 0x45F) return minus(80);
  return c;
}

std::u16string NtUpper(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = NtUpper(c);
  return out;
}

std::u16string UpperCaseTable(bool windows9x) {
  std::u16string table(text::kCaseTableSize, u'\0');
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto c = static_cast<char16_t>(i);
    table[i] = c;
    if (!windows9x) {
      table[i] = NtUpper(c);
      continue;
    }
    // Windows-1252's characters: ASCII, Latin-1 and, at 0x80 to 0x9F, among
    // others the small s, z and oe with their capitals and y with diaeresis.
    const bool inCodePage = c < 0x80 || (c >= 0xA0 && c <= 0xFF) || c == 0x161 || c == 0x17E ||
                            c == 0x153 || c == 0x160 || c == 0x17D || c == 0x152 || c == 0x178;
    if (inCodePage) table[i] = NtUpper(c);
  }
  return table;
}

}  // namespace platform::fake
