// The fake platform's own behaviour, which the core's tests rely on and the
// Win32 backend must match.
#include <gtest/gtest.h>

#include "common/text.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using platform::fake::FakeDialog;
using platform::fake::FakeSystem;

TEST(FakeSystem, MessageBoxesAreAnsweredFromTheQueueAndRecorded) {
  FakeSystem system;
  system.messageBoxAnswers = {platform::kIdNo};
  EXPECT_EQ(system.ShowMessageBox(7, u"Reboot?", u"App", platform::kMbYesNo), platform::kIdNo);
  EXPECT_EQ(system.ShowMessageBox(0, u"Again?", u"App", platform::kMbYesNo), platform::kIdYes);
  EXPECT_EQ(system.ShowMessageBox(0, u"Done", u"App", platform::kMbOk), platform::kIdOk);
  ASSERT_EQ(system.messageBoxes.size(), 3u);
  EXPECT_EQ(system.messageBoxes[0].owner, 7u);
  EXPECT_EQ(system.messageBoxes[0].text, u"Reboot?");
  EXPECT_EQ(system.messageBoxes[0].caption, u"App");
  EXPECT_EQ(system.messageBoxes[0].type, platform::kMbYesNo);
  EXPECT_FALSE(system.messageBoxes[0].defaultCaption);
}

TEST(FakeSystem, MessageBoxWithoutCaptionIsToldFromAnEmptyCaption) {
  FakeSystem system;
  system.ShowMessageBox(0, u"a", platform::kNoCaption, platform::kMbOk);
  system.ShowMessageBox(0, u"b", u"", platform::kMbOk);
  ASSERT_EQ(system.messageBoxes.size(), 2u);
  EXPECT_TRUE(system.messageBoxes[0].defaultCaption);
  EXPECT_FALSE(system.messageBoxes[1].defaultCaption);
}

TEST(FakeSystem, NamedMutexExistsAfterItsFirstCreation) {
  FakeSystem system;
  const auto first = system.CreateNamedMutex(u"M", true);
  const auto second = system.CreateNamedMutex(u"M", true);
  EXPECT_NE(first.handle, 0u);
  EXPECT_EQ(first.lastError, 0u);
  EXPECT_NE(second.handle, 0u);
  EXPECT_EQ(second.lastError, platform::kErrorAlreadyExists);
  system.mutexCreationFails = true;
  EXPECT_EQ(system.CreateNamedMutex(u"N", true).handle, 0u);
}

TEST(FakeSystem, ExitProcessThrowsTheStatus) {
  FakeSystem system;
  try {
    system.ExitProcess(-20);
    FAIL();
  } catch (const platform::fake::ProcessExit& exit) {
    EXPECT_EQ(exit.status, -20);
  }
}

TEST(FakeSystem, AnsiCodePageIsWindows1252) {
  FakeSystem system;
  const std::string bytes = "A\x80\x9F\xE9\x81";
  const std::u16string wide = system.AnsiToWide(bytes);
  EXPECT_EQ(wide, u"A\u20AC\u0178\u00E9\u0081");
  EXPECT_EQ(system.WideToAnsi(wide), bytes);
  EXPECT_EQ(system.WideToAnsi(u"\u4E2D"), "?");  // not in the code page
}

TEST(FakeSystem, LibrariesLoadByNameWithoutRegardToCase) {
  FakeSystem system;
  const auto riched = system.LoadLibraryAnsi("riched20.dll");
  EXPECT_NE(riched, 0u);
  EXPECT_EQ(system.LoadLibraryWide(u"Netapi32.dll"), 0u);
  system.FreeLibraryHandle(riched);
  system.FreeLibraryHandle(riched);  // a second free of the same handle is not recorded
  EXPECT_EQ(system.freedLibraries, std::vector<std::u16string>{u"riched20.dll"});
}

class NullHandler : public platform::DialogHandler {
 public:
  bool OnInitDialog(platform::DialogView&) override { return true; }
};

TEST(FakeDialog, RichEditKeepsLineBreaksAsCrAndFormatsPerCharacter) {
  NullHandler handler;
  FakeDialog dialog(QRT_IDD_MAIN, 1, 0, handler);
  const platform::CharFormat red{true, platform::Rgb(255, 0, 0)};
  dialog.SetSelectionFormat(QRT_IDC_OUTPUT, red);
  dialog.ReplaceSelection(QRT_IDC_OUTPUT, u"Hi\r\n");
  dialog.SetSelectionFormat(QRT_IDC_OUTPUT, {});
  dialog.ReplaceSelection(QRT_IDC_OUTPUT, u"a\nb\rc");
  EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT), u"Hi\ra\rb\rc");
  EXPECT_EQ(dialog.TextLength(QRT_IDC_OUTPUT), 8);
  const auto& formats = dialog.controls[QRT_IDC_OUTPUT].formats;
  EXPECT_EQ(formats[0], red);
  EXPECT_EQ(formats[2], red);
  EXPECT_EQ(formats[3], platform::CharFormat{});

  // Selecting everything and inserting replaces the old text.
  dialog.SetSelection(QRT_IDC_OUTPUT, 0, -1);
  dialog.ReplaceSelection(QRT_IDC_OUTPUT, u"new");
  EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT), u"new");
  EXPECT_EQ(formats.size(), 3u);
}

TEST(FakeDialog, DisabledButtonsIgnoreClicksAndMissingControlsAreFaults) {
  struct Recorder : NullHandler {
    std::vector<int> commands;
    void OnCommand(int id, int) override { commands.push_back(id); }
  } handler;
  FakeDialog dialog(QRT_IDD_MAIN, 1, 0, handler);
  dialog.EnableControl(QRT_IDC_STOP, false);
  dialog.Click(QRT_IDC_STOP);
  dialog.Click(QRT_IDC_EXIT);
  EXPECT_EQ(handler.commands, std::vector<int>{QRT_IDC_EXIT});
  EXPECT_FALSE(dialog.HasControl(4242));
  EXPECT_THROW(dialog.SetControlText(4242, u"x"), std::logic_error);
}

}  // namespace

namespace {

TEST(FakeSystem, BoundFunctionsComeOnlyFromTheirOwnLoadedLibrary) {
  FakeSystem system;
  const auto shell32 = system.LoadLibraryWide(u"SHELL32.DLL");
  const auto kernel32 = system.LoadLibraryWide(u"kernel32.dll");
  EXPECT_TRUE(system.BindSpecialFolderPath(shell32));
  EXPECT_FALSE(system.BindSpecialFolderPath(kernel32));
  EXPECT_TRUE(system.BindLongPathName(kernel32));
  EXPECT_FALSE(system.BindLongPathName(shell32));
  system.missingFunctions.insert("GetLongPathNameW");
  EXPECT_FALSE(system.BindLongPathName(kernel32));
  system.FreeLibraryHandle(shell32);
  EXPECT_FALSE(system.BindSpecialFolderPath(shell32));
}

TEST(FakeSystem, FoldersFollowTheLayout) {
  FakeSystem system;  // Windows XP
  EXPECT_EQ(system.SystemDirectory(), u"C:\\WINDOWS\\system32");
  EXPECT_EQ(system.WindowsDirectory(), u"C:\\WINDOWS");
  EXPECT_EQ(system.TempPath(), u"C:\\DOCUME~1\\ADMINI~1\\LOCALS~1\\Temp\\");
  const auto folder = system.BindSpecialFolderPath(system.LoadLibraryWide(u"shell32.dll"));
  EXPECT_EQ(folder(0, platform::kCsidlProgramFiles, false), u"C:\\Program Files");
  EXPECT_EQ(folder(0, 0x1234, false), std::nullopt);
  const auto longPath = system.BindLongPathName(system.LoadLibraryWide(u"KERNEL32.DLL"));
  EXPECT_EQ(longPath(u"c:\\docume~1\\admini~1\\locals~1\\temp\\"),
            u"C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\");
  EXPECT_EQ(longPath(u"C:\\Long Name"), u"C:\\Long Name");

  platform::fake::SetUpWindows98(system);
  EXPECT_EQ(system.version->platformId, platform::kPlatformWin32Windows);
  EXPECT_EQ(folder(0, platform::kCsidlProfile, false), std::nullopt);
  platform::fake::SetUpWindowsNt4(system);
  EXPECT_EQ(system.version->majorVersion, 4u);
  EXPECT_EQ(system.TempPath(), u"C:\\TEMP\\");
  EXPECT_TRUE(system.missingFunctions.count("GetLongPathNameW"));
}

}  // namespace
