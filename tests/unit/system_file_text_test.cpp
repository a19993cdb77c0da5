// The new texts of WININIT.INI, the hosts file and an ini section changed
// line by line, byte for byte, also for
// odd old texts: no final line feed, only CRs, zero bytes, very long lines,
// thousands of entries.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "removal/system_file_text.h"

namespace {

using namespace std::string_literals;

constexpr const char* kLocalhost = "\r\n127.0.0.1\t\tlocalhost\r\n";

// An old text and the new one it must become.
struct TextCase {
  const char* label;
  std::string old;
  std::string expected;
};

TEST(WininitText, RenameLineBecomesTheFirstLineOfItsSection) {
  const TextCase cases[] = {
      {"empty", "", "[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"header with a capital R and one entry", "[Rename]\r\nNUL=C:\\A.EXE\r\n",
       "[rename]\r\nNUL=C:\\V.EXE\r\nNUL=C:\\A.EXE\r\n"},
      {"header after another section, indented", "[x]\r\na=1\r\n  [RENAME]\r\nB=C\r\n",
       "[x]\r\na=1\r\n  [rename]\r\nNUL=C:\\V.EXE\r\nB=C\r\n"},
      {"no header", "[x]\r\na=1\r\n", "[x]\r\na=1\r\n[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"no header, no final line feed", "[x]\r\na=1",
       "[x]\r\na=1\r\n[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"header at the end without line end", "[rename]", "[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"header followed by a comment", "[rename] ; later\r\n",
       "[rename]\r\nNUL=C:\\V.EXE\r\n ; later\r\n"},
      {"header only inside a line", "a=[rename]\r\n",
       "a=[rename]\r\n[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"only CRs: one line, no header", "[x]\ra=1\r[rename]\r",
       "[x]\ra=1\r[rename]\r\r\n[rename]\r\nNUL=C:\\V.EXE\r\n"},
      {"line feeds only", "[rename]\nA=B\n", "[rename]\r\nNUL=C:\\V.EXE\nA=B\n"},
      {"zero bytes are kept", "a\0b\r\n[rename]\r\n"s, "a\0b\r\n[rename]\r\nNUL=C:\\V.EXE\r\n"s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removal::WithRenameLine(c.old, "NUL=C:\\V.EXE"), c.expected) << c.label;
  }
}

// WININIT.EXE follows short names only: what may stand in a line.
TEST(WininitText, ShortNamesAndPaths) {
  const struct {
    std::string text;
    bool name;
    bool path;
  } cases[] = {
      {"VIRUS.EXE", true, false},
      {"virus.exe", true, false},  // MS-DOS folds the case
      {"PROGRA~1", true, false},
      {"A", true, false},
      {"SERVICES.EX", true, false},
      {"\xC4RGER.EXE", true, false},  // a letter of the code page
      {"SERVICES1.EXE", false, false},
      {"VIRUS.EXE1", false, false},
      {"VIRUS.", false, false},
      {".EXE", false, false},
      {"A.B.C", false, false},
      {"EVIL CO", false, false},
      {"A+B.EXE", false, false},
      {"A\tB", false, false},
      {"", false, false},
      {"C:\\", false, true},
      {"c:\\WINDOWS\\WINSEC~1\\SERVICES.EXE", false, true},
      {"C:\\WINDOWS\\WinSecurity\\SERVICES.EXE", false, false},
      {"C:\\Program Files\\EVIL.EXE", false, false},
      {"C:\\WINDOWS\\", false, false},
      {"C:\\WINDOWS\\\\A.EXE", false, false},
      {"C:WINDOWS", false, false},
      {"\\\\SERVER\\SHARE\\A.EXE", false, false},
      {"WINDOWS\\A.EXE", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removal::IsShortName(c.text), c.name) << c.text;
    EXPECT_EQ(removal::IsShortPath(c.text), c.path) << c.text;
  }
}

// Each line "device=..." of [386Enh] that names "evil" is cleared; the
// sections and lines are told as the profile functions tell them.
TEST(IniText, OnlyTheLinesOfTheFirstSectionOfTheNameChange) {
  const auto isSection = [](std::string_view name) { return name == "386Enh"; };
  const auto newValue = [](std::string_view key,
                           std::string_view value) -> std::optional<std::string> {
    if (key != "device" || value.find("evil") == std::string_view::npos) return std::nullopt;
    return "";
  };
  const struct {
    const char* label;
    std::string old;
    std::optional<std::string> expected;
  } cases[] = {
      {"blanks around the line and its parts, the line end kept",
       " [386Enh] \r\n\tdevice =  evil.vxd \r\ndevice=a\n",
       " [386Enh] \r\n\tdevice= \r\ndevice=a\n"},
      {"the second section of the name stays, as does a line without an end",
       "[386Enh]\ndevice=evil\n[other]\ndevice=evil\n[386Enh]\ndevice=evil",
       "[386Enh]\ndevice=\n[other]\ndevice=evil\n[386Enh]\ndevice=evil"},
      {"a comment stays; a \"[\" line without \"]\" starts no section",
       "[386Enh]\n;device=evil\n[device=evil\ndevice=evil\n",
       "[386Enh]\n;device=evil\n[device=evil\ndevice=\n"},
      {"the last line without an end", "[386Enh]\r\ndevice=evil", "[386Enh]\r\ndevice="},
      {"no line names it", "[386Enh]\r\ndevice=a\r\n", std::nullopt},
      {"before any section", "device=evil\r\n", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removal::WithIniValuesChanged(c.old, isSection, newValue), c.expected) << c.label;
  }
}

TEST(HostsText, RestoreDisablesEveryEntryAndAppendsLocalhost) {
  const TextCase cases[] = {
      {"two entries with CR LF", "127.0.0.1       localhost\r\n10.0.0.1 bank.example\r\n",
       "# 127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n"s + kLocalhost},
      {"comments and blank CR LF lines stay", "# hosts\r\n\r\n  \t\r\n1.2.3.4 a\r\n",
       "# hosts\r\n\r\n  \t\r\n# 1.2.3.4 a\r\n"s + kLocalhost},
      {"blank LF lines vanish", "\n\n1.2.3.4 a\n\n\n5.6.7.8 b\n\n",
       "# 1.2.3.4 a\n# 5.6.7.8 b\n"s + kLocalhost},
      {"no final line feed", "1.2.3.4 a", "# 1.2.3.4 a\n"s + kLocalhost},
      {"only CRs: one piece", "1.2.3.4 a\r5.6.7.8 b\r", "# 1.2.3.4 a\r5.6.7.8 b\r\n"s + kLocalhost},
      {"indented entry and comment", "   1.2.3.4 a\n\t#x\n",
       "#    1.2.3.4 a\n\t#x\n"s + kLocalhost},
      {"entry behind 300 blanks is still disabled", std::string(300, ' ') + "1.2.3.4 a\n",
       "# " + std::string(300, ' ') + "1.2.3.4 a\n" + kLocalhost},
      {"zero bytes are word bytes", "\0\n1.2.3.4\0 a\n"s, "# \0\n# 1.2.3.4\0 a\n"s + kLocalhost},
      {"a UTF-8 byte order mark stays first",
       "\xEF\xBB\xBF"
       "1.2.3.4 a\n",
       "\xEF\xBB\xBF# 1.2.3.4 a\n"s + kLocalhost},
      {"a UTF-8 byte order mark before a comment", "\xEF\xBB\xBF# c\n1.2.3.4 a\n",
       "\xEF\xBB\xBF# c\n# 1.2.3.4 a\n"s + kLocalhost},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removal::RestoredHosts(c.old), c.expected) << c.label;
  }
}

TEST(HostsText, RestoringTwiceDisablesTheAddedLocalhostLine) {
  const std::string once = removal::RestoredHosts("1.2.3.4 a\r\n");
  EXPECT_EQ(removal::RestoredHosts(once),
            "# 1.2.3.4 a\r\n\r\n# 127.0.0.1\t\tlocalhost\r\n"s + kLocalhost);
}

TEST(HostsText, RemoveDisablesLinesByAddressOrFirstHostName) {
  const std::string hosts =
      "127.0.0.1 localhost\r\n"
      "10.0.0.1 Bank.Example www.bank.example\r\n"
      "# 10.0.0.1 old.example\r\n"
      "10.0.0.2\tother.example bank.example\r\n"
      "10.0.0.1\r\n"
      "10.0.0.1 \r\n";
  const struct {
    const char* label;
    std::string name;
    std::optional<std::string> expected;
  } cases[] = {
      {"by address: every line with it and a host name", "10.0.0.1",
       "127.0.0.1 localhost\r\n"
       "# 10.0.0.1 Bank.Example www.bank.example\r\n"
       "# 10.0.0.1 old.example\r\n"
       "10.0.0.2\tother.example bank.example\r\n"
       "10.0.0.1\r\n"
       "10.0.0.1 \r\n"},
      {"by first host name, without regard to case", "BANK.example",
       "127.0.0.1 localhost\r\n"
       "# 10.0.0.1 Bank.Example www.bank.example\r\n"
       "# 10.0.0.1 old.example\r\n"
       "10.0.0.2\tother.example bank.example\r\n"
       "10.0.0.1\r\n"
       "10.0.0.1 \r\n"},
      {"a further host name is not compared", "www.bank.example", std::nullopt},
      {"commented lines are not compared", "old.example", std::nullopt},
      {"part of a name does not match", "bank", std::nullopt},
      {"empty name", "", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removal::HostsWithout(hosts, c.name), c.expected) << c.label;
  }
}

TEST(HostsText, AWordThatDidNotFitItsBufferMatchesNothing) {
  const std::string fits(259, 'h');
  const std::string tooLong(260, 'h');
  EXPECT_TRUE(removal::HostsWithout("1.2.3.4 " + fits + "\n", fits));
  EXPECT_FALSE(removal::HostsWithout("1.2.3.4 " + tooLong + "\n", tooLong));
  EXPECT_FALSE(removal::HostsWithout(tooLong + " a\n", tooLong));
  EXPECT_FALSE(removal::HostsWithout(tooLong + " a\n", fits));
  // A long word still leaves the next one to be compared.
  EXPECT_TRUE(removal::HostsWithout(tooLong + " a\n", "a"));
}

TEST(HostsText, ThousandsOfEntries) {
  std::string hosts;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
                             " ad" + std::to_string(i) + ".example\r\n";
    hosts += line;
    expected += "# " + line;
  }
  EXPECT_EQ(removal::RestoredHosts(hosts), expected + kLocalhost);
  const auto without = removal::HostsWithout(hosts, "ad4999.example");
  ASSERT_TRUE(without);
  EXPECT_EQ(without->size(), hosts.size() + 2);
  EXPECT_TRUE(without->ends_with("# 10.0.19.135 ad4999.example\r\n"));
}

}  // namespace
