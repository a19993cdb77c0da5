#include "app/header_texts.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace {

using platform::fake::FakeSystem;
using platform::fake::FakeVersionResource;

class FileVersionTest : public ::testing::Test {
 protected:
  FakeVersionResource& Own() { return system_.versionResources[system_.moduleFileName]; }
  FakeSystem system_;
};

TEST_F(FileVersionTest, OwnResourceGivesDottedVersion) {
  EXPECT_EQ(app::FileVersionText(system_), u"3.0.1.16");
}

TEST_F(FileVersionTest, TranslationChoosesTheStringBlock) {
  // German, code page 1252: the block is named after the bytes high first.
  Own().binaryValues[u"\\VarFileInfo\\Translation"] = {0x07, 0x04, 0xE4, 0x04};
  Own().textValues[u"\\StringFileInfo\\040704E4\\FileVersion"] = u"1, 2, 3, 4";
  EXPECT_EQ(app::FileVersionText(system_), u"1.2.3.4");
}

TEST_F(FileVersionTest, WithoutOneTranslationTheUsersLanguageAndUnicodeAreUsed) {
  system_.userDefaultLanguage = 0x0C0A;
  Own().textValues[u"\\StringFileInfo\\0C0A04B0\\FileVersion"] = u"5, 6";
  for (const std::vector<std::uint8_t>& translation :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0x09, 0x04, 0xB0},
        std::vector<std::uint8_t>{0x09, 0x04, 0xB0, 0x04, 0x07, 0x04, 0xB0, 0x04}}) {
    Own().binaryValues[u"\\VarFileInfo\\Translation"] = translation;
    EXPECT_EQ(app::FileVersionText(system_), u"5.6") << translation.size();
  }
  Own().binaryValues.clear();
  EXPECT_EQ(app::FileVersionText(system_), u"5.6");
}

TEST_F(FileVersionTest, EmptyWhenAnythingIsMissing) {
  Own().textValues.clear();
  EXPECT_EQ(app::FileVersionText(system_), u"");
  Own().readFails = true;
  EXPECT_EQ(app::FileVersionText(system_), u"");
  system_.versionResources.clear();
  EXPECT_EQ(app::FileVersionText(system_), u"");
}

TEST_F(FileVersionTest, OnlyCommaSpaceBecomesADot) {
  Own().textValues[u"\\StringFileInfo\\040904B0\\FileVersion"] = u"3,0, 1 ,, 2, ";
  EXPECT_EQ(app::FileVersionText(system_), u"3,0.1 ,.2.");
}

TEST(BuildDate, MonthIsReplacedThroughTheStringTable) {
  FakeSystem system;
  const char16_t* months[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                              u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  const std::uint32_t ids[] = {90, 93, 94, 95, 96, 97, 98, 99, 100, 101, 102, 103};
  for (int i = 0; i < 12; ++i) system.strings[ids[i]] = u"<" + std::u16string(months[i]) + u">";
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(app::BuildDateText(system, std::u16string(months[i]) + u"  3 2026"),
              u"<" + std::u16string(months[i]) + u">  3 2026");
  }
  // The first month in calendar order that the text contains, once.
  EXPECT_EQ(app::BuildDateText(system, u"Dec Jan Jan"), u"Dec <Jan> Jan");
  EXPECT_EQ(app::BuildDateText(system, u"28.05.2008"), u"28.05.2008");
  system.strings.erase(96);
  EXPECT_EQ(app::BuildDateText(system, u"May 28 2008"), u"May 28 2008");
}

TEST(BuildDate, ConstantsHaveTheCompilersForm) {
  const std::string date = text::ToUtf8(app::BuildDate());
  const std::string time = text::ToUtf8(app::BuildTime());
  EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z]{2} [ 123][0-9] [0-9]{4}"))) << date;
  EXPECT_TRUE(std::regex_match(time, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"))) << time;
}

TEST(VersionLine, VersionDateAndTimeInString3) {
  FakeSystem system;
  system.strings[96] = u"Mai";
  const app::HeaderTexts texts = app::BuildHeaderTexts(system);
  EXPECT_EQ(texts.versionLine, u"\r\nVersion: 3.0.1.16, " +
                                   app::BuildDateText(system, app::BuildDate()) + u" " +
                                   std::u16string(app::BuildTime()) + u"\r\n");
  EXPECT_EQ(texts.titleLine, u"Removal Tool 3.0");
  EXPECT_EQ(texts.listHeading, u"Removal Tool for:\r\n");
  system.versionResources.clear();
  EXPECT_EQ(app::BuildHeaderTexts(system).versionLine.substr(0, 13), u"\r\nVersion: , ");
}

}  // namespace
