#include "common/text.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using text::Format;

struct FormatCase {
  const char* label;
  std::u16string format;
  std::u16string expected;
  std::initializer_list<text::FormatArg> args;
};

TEST(Format, StringTableFormats) {
  const FormatCase cases[] = {
      {"plain text", u"done\r\n", u"done\r\n", {}},
      {"percent", u"100%%", u"100%", {}},
      {"text", u"\"%s\"", u"\"a b\"", {u"a b"}},
      {"integer", u"%d files", u"-12 files", {-12}},
      {"line number", u"Line %3d:", u"Line   7:", {7}},
      {"wide line number", u"Line %3d:", u"Line 1234:", {1234}},
      {"two decimals", u"%01.2f seconds", u"4.00 seconds", {4.0}},
      {"rounding", u"%01.2f", u"150.13", {150.125001}},
      {"zero", u"%01.2f", u"0.00", {0.0}},
      {"hex byte", u"%02X%02X", u"0A04", {10, 4}},
      {"hex word", u"\\StringFileInfo\\%04X04B0\\", u"\\StringFileInfo\\040904B0\\", {0x409}},
      {"negative as unsigned hex", u"%X", u"FFFFFFEC", {-20}},
      {"address", u"%d.%d.%d.%d", u"192.168.0.1", {192, 168, 0, 1}},
      {"clock", u"%02d:%02d:%02d", u"09:05:00", {9, 5, 0}},
      {"missing argument writes nothing", u"a%sb%dc", u"abc", {}},
      {"wrong kind writes nothing", u"[%d]", u"[]", {u"x"}},
      {"unknown conversion is kept", u"%q %d", u"%q 5", {5}},
      {"trailing percent is kept", u"50%", u"50%", {}},
      {"left aligned", u"[%-4s]", u"[ab  ]", {u"ab"}},
      {"precision cuts text", u"%.3s", u"abc", {u"abcdef"}},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(text::ToUtf8(Format(c.format, c.args)), text::ToUtf8(c.expected)) << c.label;
  }
}

TEST(Format, ZeroPaddingGoesAfterTheSign) {
  EXPECT_EQ(Format(u"%05d", {-42}), u"-0042");
  EXPECT_EQ(Format(u"%06.2f", {-1.5}), u"-01.50");
}

TEST(CaseInsensitive, ComparesAsciiAndLatin1Letters) {
  EXPECT_TRUE(text::EqualsNoCase(u"/SILENT", u"/silent"));
  EXPECT_TRUE(text::EqualsNoCase(u"[MALWARE", u"[Malware"));
  EXPECT_TRUE(text::EqualsNoCase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"));
  EXPECT_FALSE(text::EqualsNoCase(u"\u00D7", u"\u00F7"));  // multiplication and division signs
  EXPECT_FALSE(text::EqualsNoCase(u"abc", u"abcd"));
  EXPECT_FALSE(text::EqualsNoCase(u"[", u"{"));  // 0x5B and 0x7B differ by 32 but are no letters
  EXPECT_TRUE(text::StartsWithNoCase(u"HKEY_LOCAL_MACHINE\\x", u"hkey_local_machine"));
  EXPECT_TRUE(text::EndsWithNoCase(u"C:\\a\\FILE.EXE", u".exe"));
  EXPECT_EQ(text::FindNoCase(u"c:\\windows\\System32\\x", u"SYSTEM32"), 11u);
  EXPECT_EQ(text::FindNoCase(u"abc", u"abcd"), std::u16string_view::npos);
}

// A table as a Russian or Greek system gives it: its own letters fold, and
// so, whatever it says, do the ASCII letters as ASCII.
std::u16string RussianTable() {
  std::u16string table(text::kCaseTableSize, u'\0');
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char16_t>(i);
  for (char16_t c = 0x430; c <= 0x44F; ++c) table[c] = static_cast<char16_t>(c - 32);
  table[u'i'] = 0x130;  // a table that would upset the script's words
  return table;
}

TEST(CaseInsensitive, TheSystemsTableIsInForceWhileItsMappingLives) {
  const std::u16string lower = u"c:\\\u0434\u043E\u043A\\virus.exe";  // "dok" in Cyrillic
  const std::u16string upper = u"C:\\\u0414\u041E\u041A\\VIRUS.EXE";
  EXPECT_FALSE(text::EqualsNoCase(lower, upper)) << "the built-in folding knows no Cyrillic";
  {
    const text::CaseMapping russian(RussianTable());
    EXPECT_TRUE(text::EqualsNoCase(lower, upper));
    EXPECT_EQ(text::FindNoCase(u"x\u0414\u041E\u041A", u"\u0434\u043E\u043A"), 1u);
    EXPECT_EQ(text::ToUpper(u'i'), u'I');
    EXPECT_TRUE(text::EqualsNoCase(u"\u00E9", u"\u00E9"));
    EXPECT_FALSE(text::EqualsNoCase(u"\u00E9", u"\u00C9")) << "only what the table folds";
    {
      const text::CaseMapping wrongSize(u"short");
      EXPECT_TRUE(text::EqualsNoCase(lower, upper)) << "a table of another size installs nothing";
    }
    // Mappings may end in any order: the newest living one stays in force.
    auto second = std::make_unique<text::CaseMapping>(RussianTable());
    auto third = std::make_unique<text::CaseMapping>(std::u16string(text::kCaseTableSize, u'X'));
    second.reset();
    EXPECT_EQ(text::ToUpper(u'\u0434'), u'X');
    third.reset();
    EXPECT_EQ(text::ToUpper(u'\u0434'), u'\u0414');
  }
  EXPECT_FALSE(text::EqualsNoCase(lower, upper));
  EXPECT_TRUE(text::EqualsNoCase(u"\u00E9", u"\u00C9"));
}

TEST(Utf8, RoundTripsEveryPlane) {
  const std::u16string s = u"a\u00E9\u20AC\U0001F600z";
  EXPECT_EQ(text::FromUtf8(text::ToUtf8(s)), s);
  EXPECT_EQ(text::ToUtf8(u"\u00E9"), "\xC3\xA9");
}

}  // namespace
