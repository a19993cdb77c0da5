#include "common/string_table.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace {

TEST(StringTable, FindsTextsByNumber) {
  struct Case {
    std::uint32_t id;
    std::u16string text;
  };
  const Case cases[] = {
      {4, u"\r\n"},
      {17, u"- Host: \"%s\", IP: %d.%d.%d.%d\r\n"},
      {25, u"Administrator rights are required in order to scan and clean the system.\r\n"},
      {28, u"&Start scan"},
      {38, u"scanned directories:\t\t\t%d\r\n"},
      {89, u"- Warning: incompatible options: /APPEND and  /NOLOG.\r\n"},
      {91, u"Program is already running."},
      {92, u"Error"},
      {90, u"Jan"},
      {103, u"Dec"},
      {1009, u"No administrator rights dialog"},
  };
  for (const Case& c : cases) {
    const auto found = strings::Find(c.id);
    ASSERT_TRUE(found.has_value()) << c.id;
    EXPECT_EQ(text::ToUtf8(*found), text::ToUtf8(c.text)) << c.id;
  }
}

TEST(StringTable, EveryEntryHasTextAndMissingNumbersAreNotFound) {
  for (const strings::Entry& entry : strings::Table()) {
    EXPECT_FALSE(entry.text.empty()) << entry.id;
    EXPECT_EQ(strings::Find(entry.id), entry.text);
  }
  EXPECT_FALSE(strings::Find(0).has_value());
  EXPECT_FALSE(strings::Find(29).has_value());
  EXPECT_FALSE(strings::Find(65535).has_value());
}

}  // namespace
