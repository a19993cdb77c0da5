// The Win32 backend against the real system (run under Wine): what the
// shared cases of tests/platform_cases do not cover.
#include <gtest/gtest.h>

#include <memory>

#include "common/text.h"
#include "platform/win32/win32_system.h"

namespace {

class Win32SystemTest : public ::testing::Test {
 protected:
  std::unique_ptr<platform::System> system_ = platform::win32::CreateSystem();
};

TEST_F(Win32SystemTest, VersionAndModulePath) {
  const auto version = system_->runtime().QueryVersion();
  ASSERT_TRUE(version.has_value());
  EXPECT_TRUE(version->platformId == platform::kPlatformWin32Nt ||
              version->platformId == platform::kPlatformWin32Windows);
  EXPECT_TRUE(text::EndsWithNoCase(system_->runtime().ModuleFileName(), u"\\qrt_win32_tests.exe"))
      << text::ToUtf8(system_->runtime().ModuleFileName());
}

TEST_F(Win32SystemTest, ResourcesByTypeAndName) {
  // The application manifest: RT_MANIFEST (24), id 1.
  const auto manifest = system_->resources().LoadResourceData(u"#24", u"#1");
  ASSERT_TRUE(manifest.has_value());
  const std::string xml(manifest->begin(), manifest->end());
  EXPECT_NE(xml.find("level=\"highestAvailable\""), std::string::npos);
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_FALSE(system_->resources().LoadResourceData(u"SCRIPTFILE", u"#4242").has_value());
}

// The string table, mutexes, libraries and the code page are cases of
// tests/platform_cases (platform_cases_test.cpp).
TEST_F(Win32SystemTest, CodePageAndClock) {
  EXPECT_EQ(system_->runtime().WideToAnsi(u"ABC012"), "ABC012");
  EXPECT_EQ(system_->runtime().AnsiToWide("9AF"), u"9AF");
  const platform::LocalTime now = system_->runtime().GetLocalTime();
  EXPECT_GE(now.year, 2000);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
}

TEST_F(Win32SystemTest, CaseTableFoldsAsTheSystemDoes) {
  const std::u16string table = system_->runtime().UpperCaseTable();
  ASSERT_EQ(table.size(), text::kCaseTableSize);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[u'a'], u'A');
  EXPECT_EQ(table[u'Z'], u'Z');
  EXPECT_EQ(table[u'['], u'[');
  // A letter of the ANSI code page at 0xE9 folds to the one at 0xC9 in every
  // single-byte Windows code page (e with acute in 1252, short i in 1251,
  // iota in 1253), on both families.
  const std::u16string small = system_->runtime().AnsiToWide("\xE9");
  const std::u16string capital = system_->runtime().AnsiToWide("\xC9");
  ASSERT_EQ(small.size(), 1u);
  ASSERT_EQ(capital.size(), 1u);
  EXPECT_EQ(table[small[0]], capital[0]);
  const auto version = system_->runtime().QueryVersion();
  ASSERT_TRUE(version.has_value());
  if (version->platformId == platform::kPlatformWin32Nt) {
    // The NT family folds every script, whatever the code page.
    EXPECT_EQ(table[0x0431], 0x0411);  // Cyrillic be
    EXPECT_EQ(table[0x03B1], 0x0391);  // Greek alpha
    EXPECT_EQ(table[0x0411], 0x0411);
  }
}

}  // namespace
