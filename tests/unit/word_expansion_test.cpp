// Word expansion: registry root abbreviations and folder placeholders on the
// folders of each Windows family, with the system functions that may be
// missing or fail.
#include "descriptions/word_expansion.h"

#include <gtest/gtest.h>

#include "script_test_support.h"

namespace {

using descriptions::ExpandFolderPlaceholders;
using descriptions::ExpandRegistryRoot;

TEST(ExpandRegistryRoot, ReplacesTheFirstFourLettersOnly) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"hklm\\Software", u"HKEY_LOCAL_MACHINE\\Software"},
      {u"HKCU\\x", u"HKEY_CURRENT_USER\\x"},
      {u"HkCr", u"HKEY_CLASSES_ROOT"},
      {u"HKUS\\.DEFAULT", u"HKEY_USERS\\.DEFAULT"},
      {u"hkcc\\System", u"HKEY_CURRENT_CONFIG\\System"},
      {u"HKCUfoo", u"HKEY_CURRENT_USERfoo"},
      {u"HKEY_LOCAL_MACHINE\\x", u"HKEY_LOCAL_MACHINE\\x"},
      {u"HKC", u"HKC"},
      {u"xHKLM", u"xHKLM"},
      {u"HKLMHKCU", u"HKEY_LOCAL_MACHINEHKCU"},
  };
  for (const auto& [word, expanded] : cases) {
    EXPECT_EQ(text::ToUtf8(ExpandRegistryRoot(word)), text::ToUtf8(expanded));
  }
}

class FolderPlaceholders : public script_test::FakeSystemTest {
 protected:
  // The expanded word, or "<empty>" when the word reads as empty.
  std::string Expand(std::u16string_view word) {
    const auto expanded = ExpandFolderPlaceholders(word, Context());
    return expanded ? text::ToUtf8(*expanded) : "<empty>";
  }
};

TEST_F(FolderPlaceholders, WindowsXp) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"%SYSDIR%\\a.dll", "C:\\WINDOWS\\system32\\a.dll"},
      {u"%windir%", "C:\\WINDOWS"},
      {u"%Program_Files%\\X", "C:\\Program Files\\X"},
      {u"%HOME%", "C:\\Documents and Settings\\Administrator"},
      {u"%TEMPDIR%\\x.tmp",
       "C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\x.tmp"},
      {u"%TEMPORARY_INTERNET_FILES%",
       "C:\\Documents and Settings\\Administrator\\Local Settings\\Temporary Internet Files"},
      {u"%COOKIES%\\c.txt", "C:\\Documents and Settings\\Administrator\\Cookies\\c.txt"},
      {u"x%SYSDIR%;%sysdir%y", "xC:\\WINDOWS\\system32;C:\\WINDOWS\\system32y"},
      {u"%infected_file%", "%infected_file%"},
      {u"%SYSDIR", "%SYSDIR"},
      {u"", ""},
  };
  for (const auto& [word, expanded] : cases) EXPECT_EQ(Expand(word), expanded);
}

TEST_F(FolderPlaceholders, WindowsNt4UsesTheTemporaryFolderAsGivenWithoutLongPathFunction) {
  platform::fake::SetUpWindowsNt4(system);
  system.folderLayout.longPathNames[u"C:\\TEMP\\"] = std::nullopt;  // would fail if it were called
  EXPECT_EQ(Expand(u"%TEMPDIR%\\psapi.dll"), "C:\\TEMP\\psapi.dll");
  EXPECT_EQ(Expand(u"%SYSDIR%"), "C:\\WINNT\\system32");
  EXPECT_EQ(Expand(u"%HOME%"), "C:\\WINNT\\Profiles\\Administrator");
}

TEST_F(FolderPlaceholders, Windows98HasNoProfileFolder) {
  platform::fake::SetUpWindows98(system);
  EXPECT_EQ(Expand(u"%HOME%\\x"), "<empty>");
  EXPECT_EQ(Expand(u"%SYSDIR%\\%HOME%"), "<empty>");
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "C:\\WINDOWS\\TEMP");
  EXPECT_EQ(Expand(u"%COOKIES%"), "C:\\WINDOWS\\Cookies");
}

TEST_F(FolderPlaceholders, MissingShellFunctionLeavesOnlyItsFoldersUnresolved) {
  system.missingFunctions.insert("SHGetSpecialFolderPathW");
  for (const char16_t* word :
       {u"%PROGRAM_FILES%", u"%HOME%", u"%TEMPORARY_INTERNET_FILES%", u"%COOKIES%"}) {
    EXPECT_EQ(Expand(word), "<empty>");
  }
  EXPECT_EQ(Expand(u"%WINDIR%"), "C:\\WINDOWS");
  EXPECT_EQ(Expand(u"%TEMPDIR%"),
            "C:\\Documents and Settings\\Administrator\\Local Settings\\Temp");
  // shell32.dll is released again when the function is missing.
  EXPECT_EQ(system.freedLibraries, std::vector<std::u16string>{u"shell32.dll"});
}

TEST_F(FolderPlaceholders, TemporaryFolderNeedsTheLongPathFunctionOutsideNt4) {
  system.missingFunctions.insert("GetLongPathNameW");
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "<empty>");
  ResetContext();
  system.missingFunctions.clear();
  system.folderLayout.longPathNames[*system.folderLayout.tempPath] = std::nullopt;  // fails
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "<empty>");
}

TEST_F(FolderPlaceholders, FailingEmptyAndOverlongFoldersAreUnresolved) {
  system.folderLayout.systemDirectory.reset();
  system.folderLayout.windowsDirectory = u"";
  system.folderLayout.specialFolders[platform::kCsidlCookies] = u"C:\\" + std::u16string(256, u'c');
  system.folderLayout.specialFolders[platform::kCsidlProfile] = u"C:\\" + std::u16string(257, u'h');
  EXPECT_EQ(Expand(u"%SYSDIR%"), "<empty>");
  EXPECT_EQ(Expand(u"%WINDIR%"), "<empty>");
  EXPECT_EQ(Expand(u"%COOKIES%").size(), 259u);  // fits a buffer of 260 with its NUL
  EXPECT_EQ(Expand(u"%HOME%"), "<empty>");
  // A temporary folder that would be empty without its backslash.
  system.folderLayout.tempPath = u"\\";
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "<empty>");
  // Without its trailing backslash the path is kept whole.
  system.folderLayout.tempPath = u"D:\\Tmp";
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "D:\\Tmp");
}

TEST_F(FolderPlaceholders, APathHoldingAPlaceholderIsNotExpandedAgain) {
  system.folderLayout.windowsDirectory = u"C:\\%WINDIR%";
  system.folderLayout.systemDirectory = u"D:\\%HOME%";
  EXPECT_EQ(Expand(u"%WINDIR%|%WINDIR%"), "C:\\%WINDIR%|C:\\%WINDIR%");
  // Placeholders later in the table do apply to an inserted path.
  EXPECT_EQ(Expand(u"%SYSDIR%"), "D:\\C:\\Documents and Settings\\Administrator");
}

TEST_F(FolderPlaceholders, UnknownVersionBindsNothing) {
  system.version.reset();
  EXPECT_EQ(Expand(u"%PROGRAM_FILES%"), "<empty>");
  EXPECT_EQ(Expand(u"%TEMPDIR%"), "<empty>");
  EXPECT_EQ(Expand(u"%WINDIR%"), "C:\\WINDOWS");
}

}  // namespace
