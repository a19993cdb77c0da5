// The fake platform's own behaviour that Windows cannot be asked for: what
// it records, the faults it injects, and the few rules Wine does not show.
// What the fake shares with Windows is in the cases of tests/platform_cases,
// which run against both backends.
#include <gtest/gtest.h>

#include <optional>

#include "common/bytes.h"
#include "common/text.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using platform::fake::FakeDialog;
using platform::fake::FakeSystem;

TEST(FakeSystem, MessageBoxesAreAnsweredFromTheQueueAndRecorded) {
  FakeSystem system;
  system.messageBoxAnswers = {platform::kIdNo};
  EXPECT_EQ(system.ui().ShowMessageBox(7, u"Reboot?", u"App", platform::kMbYesNo), platform::kIdNo);
  EXPECT_EQ(system.ui().ShowMessageBox(0, u"Again?", u"App", platform::kMbYesNo), platform::kIdYes);
  EXPECT_EQ(system.ui().ShowMessageBox(0, u"Done", u"App", platform::kMbOk), platform::kIdOk);
  ASSERT_EQ(system.messageBoxes.size(), 3u);
  EXPECT_EQ(system.messageBoxes[0].owner, 7u);
  EXPECT_EQ(system.messageBoxes[0].text, u"Reboot?");
  EXPECT_EQ(system.messageBoxes[0].caption, u"App");
  EXPECT_EQ(system.messageBoxes[0].type, platform::kMbYesNo);
  EXPECT_FALSE(system.messageBoxes[0].defaultCaption);
}

TEST(FakeSystem, MessageBoxWithoutCaptionIsToldFromAnEmptyCaption) {
  FakeSystem system;
  system.ui().ShowMessageBox(0, u"a", platform::kNoCaption, platform::kMbOk);
  system.ui().ShowMessageBox(0, u"b", u"", platform::kMbOk);
  ASSERT_EQ(system.messageBoxes.size(), 2u);
  EXPECT_TRUE(system.messageBoxes[0].defaultCaption);
  EXPECT_FALSE(system.messageBoxes[1].defaultCaption);
}

TEST(FakeSystem, NamedMutexCreationCanBeMadeToFail) {
  FakeSystem system;
  system.mutexCreationFails = true;
  EXPECT_EQ(system.runtime().CreateNamedMutex(u"N", true).handle, 0u);
}

TEST(FakeSystem, ExitProcessThrowsTheStatus) {
  FakeSystem system;
  try {
    system.runtime().ExitProcess(-20);
    FAIL();
  } catch (const platform::fake::ProcessExit& exit) {
    EXPECT_EQ(exit.status, -20);
  }
}

TEST(FakeSystem, LibrariesFreedAreRecordedOnce) {
  FakeSystem system;
  const auto riched = system.runtime().LoadLibraryAnsi("riched20.dll");
  system.runtime().FreeLibraryHandle(riched);
  system.runtime().FreeLibraryHandle(riched);  // a second free of the same handle is not recorded
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

TEST(FakeDialog, RichEditCutsInsertionsAtItsTextLimit) {
  struct Case {
    const char* name;
    std::optional<std::uint32_t> limit;  // EM_EXLIMITTEXT, if sent
    std::size_t held;
    std::size_t afterReplacing;  // 10 characters by 20
  };
  const Case cases[] = {
      {"default", std::nullopt, 32767, 32767},
      {"0 stands for 64K", 0u, 65536, 65536},
      {"raised", 0x7FFFFFFEu, 70000, 70010},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NullHandler handler;
    FakeDialog dialog(QRT_IDD_MAIN, 1, 0, handler);
    if (c.limit) dialog.SetTextLimit(QRT_IDC_OUTPUT, *c.limit);
    // Line breaks count as the one CR the control keeps.
    dialog.ReplaceSelection(QRT_IDC_OUTPUT, std::u16string(30000, u'a') + u"\r\n");
    dialog.ReplaceSelection(QRT_IDC_OUTPUT, std::u16string(39999, u'b'));
    EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT).size(), c.held);
    EXPECT_EQ(dialog.controls[QRT_IDC_OUTPUT].formats.size(), c.held);
    // Replacing a selection makes room for as much as it removes.
    dialog.SetSelection(QRT_IDC_OUTPUT, 0, 10);
    dialog.ReplaceSelection(QRT_IDC_OUTPUT, std::u16string(20, u'c'));
    EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT).size(), c.afterReplacing);
    EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT).substr(0, 10), std::u16string(10, u'c'));
  }
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

TEST(FakeFiles, ListingsFollowJunctionsAndReportListedSizes) {
  FakeSystem system;
  auto& files = system.fileSystem;
  files.AddFile(u"C:\\Data\\b.EXE", std::vector<std::uint8_t>(10));
  files.AddFile(u"C:\\Data\\Apps\\x.dll").listedSize = 0x100000005ull;
  files.AddJunction(u"C:\\Data\\Link", u"C:\\Data\\Apps");
  platform::Files& area = static_cast<platform::System&>(system).files();

  // The fake lists in key order.
  const auto first = area.FindFirstFileWide(u"c:\\data\\*.*");
  ASSERT_TRUE(first);
  std::vector<std::u16string> names = {first->data.name};
  while (auto next = area.FindNextFileWide(first->search)) names.push_back(next->name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"Apps", u"b.EXE", u"Link"}));
  EXPECT_TRUE(area.FindClose(first->search));

  const auto throughLink = area.FindFirstFileWide(u"C:\\Data\\Link\\*");
  ASSERT_TRUE(throughLink);
  const auto linked = area.FindNextFileWide(throughLink->search);
  const auto x = area.FindNextFileWide(throughLink->search);
  ASSERT_TRUE(linked && x);
  EXPECT_EQ(x->name, u"x.dll");
  EXPECT_EQ(x->size, 0x100000005ull);
  area.FindClose(throughLink->search);

  files.RefuseListing(u"C:\\Data\\Apps");
  EXPECT_FALSE(area.FindFirstFileWide(u"C:\\Data\\Apps\\*.*"));
  EXPECT_FALSE(area.FindFirstFileWide(u"E:\\*.*"));
  EXPECT_EQ(files.OpenSearchCount(), 0u);
}

TEST(FakeFiles, BackupReadGivesEachStreamAsHeaderNameAndData) {
  FakeSystem system;
  system.fileSystem.AddFile(u"C:\\f.txt", {1, 2, 3}).streams = {
      platform::fake::FakeStream{u"s", {9, 8}}};
  auto& files = system.fileSystem;
  const auto opened = files.Open(u"C:\\f.txt", platform::kGenericRead, platform::kOpenExisting, 0);
  std::uint64_t context = 0;
  std::vector<std::uint8_t> buffer(64);
  // The main data: id 1, attributes 0, size 3, no name; a read stops at the
  // end of the header, and BackupSeek at the end of the data.
  ASSERT_EQ(files.BackupRead(opened.handle, buffer, false, context).read, 20u);
  EXPECT_EQ(
      std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 20),
      (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(files.BackupSeek(opened.handle, 2, context).seeked, 2u);
  const auto past = files.BackupSeek(opened.handle, 5, context);
  EXPECT_FALSE(past.succeeded);
  EXPECT_EQ(past.seeked, 1u);
  // The named stream: id 4, size 2, the name ":s:$DATA" (16 bytes), the data.
  ASSERT_EQ(files.BackupRead(opened.handle, buffer, false, context).read, 20u);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[8], 2);
  EXPECT_EQ(buffer[16], 16);
  ASSERT_EQ(files.BackupRead(opened.handle, buffer, false, context).read, 16u);
  EXPECT_EQ(buffer[0], ':');
  EXPECT_EQ(buffer[2], 's');
  ASSERT_EQ(files.BackupRead(opened.handle, buffer, false, context).read, 2u);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(files.BackupRead(opened.handle, buffer, false, context).read, 0u);

  // The stream opens as a file of its own.
  const auto stream =
      files.Open(u"C:\\F.TXT:S", platform::kGenericRead, platform::kOpenExisting, 0);
  ASSERT_NE(stream.handle, 0u);
  EXPECT_EQ(files.Size(stream.handle), 2u);
  EXPECT_EQ(files.Read(stream.handle, buffer), 2u);
  EXPECT_EQ(
      files.Open(u"C:\\f.txt:none", platform::kGenericRead, platform::kOpenExisting, 0).lastError,
      platform::kErrorFileNotFound);
}

TEST(FakeFiles, BackupReadFailsWithTheErrorOfTheFileOrOfTheSystem) {
  FakeSystem system;
  auto& files = system.fileSystem;
  files.AddFile(u"C:\\open.txt", {1});
  files.AddFile(u"C:\\denied.txt", {1}).backupReadError = platform::kErrorAccessDenied;
  std::vector<std::uint8_t> buffer(20);
  const auto firstRead = [&](std::u16string_view path) {
    const auto opened = files.Open(path, platform::kGenericRead, platform::kOpenExisting, 0);
    std::uint64_t context = 0;
    const platform::BackupReadResult got = files.BackupRead(opened.handle, buffer, false, context);
    files.Close(opened.handle);
    return got;
  };
  EXPECT_EQ(firstRead(u"C:\\open.txt").read, 20u);
  const platform::BackupReadResult denied = firstRead(u"C:\\denied.txt");
  EXPECT_FALSE(denied.read);
  EXPECT_EQ(denied.lastError, platform::kErrorAccessDenied);
  files.backupReadError = platform::kErrorNotSupported;
  EXPECT_EQ(firstRead(u"C:\\open.txt").lastError, platform::kErrorNotSupported);
}

TEST(FakeFiles, PathsLongerThan259CharactersNeedTheLongFormWhichOnlyTheNtFamilyKnows) {
  const std::u16string folder = u"C:\\" + std::u16string(250, u'd');
  const std::u16string shortPath = folder + u"\\abcde";  // 259 characters
  const std::u16string longPath = folder + u"\\abcdef";  // 260 characters
  struct Case {
    std::u16string path;
    bool ninetyEight;
    bool reached;
  };
  const Case cases[] = {
      {shortPath, false, true},
      {longPath, false, false},
      {u"\\\\?\\" + longPath, false, true},
      {u"\\\\?\\" + shortPath, false, true},
      {shortPath, true, true},
      {longPath, true, false},
      {u"\\\\?\\" + shortPath, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path.size()) + (c.ninetyEight ? " on 98" : " on NT"));
    FakeSystem system;
    if (c.ninetyEight) platform::fake::SetUpWindows98(system);
    system.fileSystem.AddFile(shortPath, {1});
    system.fileSystem.AddFile(longPath, {2});
    platform::Files& area = static_cast<platform::System&>(system).files();
    const auto opened =
        area.CreateFileWide(c.path, platform::kGenericRead, 0, platform::kOpenExisting, 0);
    EXPECT_EQ(opened.handle != 0, c.reached);
    if (!c.reached) {
      EXPECT_EQ(opened.lastError, platform::kErrorPathNotFound);
    }
    if (opened.handle != 0) system.runtime().CloseHandle(opened.handle);
    EXPECT_EQ(area.GetFileAttributesWide(c.path).has_value(), c.reached);
    const auto found = area.FindFirstFileWide(c.path);
    EXPECT_EQ(found.has_value(), c.reached);
    if (found) area.FindClose(found->search);
    EXPECT_EQ(area.DeleteFileWide(c.path), c.reached);
  }
}

TEST(FakeFiles, FoldersOpenWithBackupSemanticsAndAreIdentifiedThroughJunctionsAndMountPoints) {
  FakeSystem system;
  auto& files = system.fileSystem;
  files.drives[u'V'] = platform::fake::FakeDrive{platform::kDriveFixed, true, false};
  files.AddFile(u"V:\\inner\\v.exe", {1});
  files.AddFolder(u"C:\\Data");
  files.AddJunction(u"C:\\Link", u"C:\\Data");
  files.AddMountPoint(u"C:\\Mount", u'V');
  platform::Files& area = static_cast<platform::System&>(system).files();
  const auto identify = [&](std::u16string_view path) -> std::optional<platform::FileIdentity> {
    const auto opened = area.CreateFileWide(path, 0, 0, platform::kOpenExisting,
                                            platform::kFileFlagBackupSemantics);
    if (opened.handle == 0) return std::nullopt;
    const auto identity = area.GetFileInformationByHandle(opened.handle);
    system.runtime().CloseHandle(opened.handle);
    return identity;
  };
  const auto data = identify(u"C:\\Data");
  ASSERT_TRUE(data);
  EXPECT_EQ(identify(u"c:\\link"), data);
  EXPECT_NE(identify(u"C:\\"), data);
  const auto volume = identify(u"C:\\Mount");
  ASSERT_TRUE(volume);
  EXPECT_NE(volume->volumeSerialNumber, data->volumeSerialNumber);
  EXPECT_FALSE(area.CreateFileWide(u"C:\\Data", 0, 0, platform::kOpenExisting, 0).handle);
  // The volume without a letter: listed through its mount point only.
  const auto throughMount = area.FindFirstFileWide(u"C:\\Mount\\inner\\*.exe");
  ASSERT_TRUE(throughMount);
  area.FindClose(throughMount->search);
  EXPECT_FALSE(area.FindFirstFileWide(u"V:\\inner\\*.exe"));
  EXPECT_FALSE(identify(u"V:\\inner"));
  EXPECT_EQ(area.GetDriveTypeWide(u"V:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(area.GetLogicalDriveStringsWide(100).strings, std::u16string(u"C:\\\0\0", 5));
  EXPECT_EQ(files.OpenHandleCount(), 0u);

  platform::fake::SetUpWindows98(system);
  EXPECT_FALSE(identify(u"C:\\Data"));
}

TEST(FakeFiles, ReadOnlyAndInUseFilesRefuseWriting) {
  FakeSystem system;
  system.fileSystem.AddFile(u"C:\\ro.log", {7}).attributes = platform::kFileAttributeReadOnly;
  system.fileSystem.AddFile(u"C:\\busy.log").refusesOpening = true;
  auto open = [&](const char16_t* path, std::uint32_t access) {
    return system.files().CreateFileWide(path, access, 0, platform::kOpenAlways, 0);
  };
  EXPECT_EQ(open(u"C:\\ro.log", platform::kGenericWrite).lastError, platform::kErrorAccessDenied);
  const auto reader = open(u"C:\\ro.log", platform::kGenericRead);
  EXPECT_NE(reader.handle, 0u);
  EXPECT_FALSE(system.files().WriteFile(reader.handle, std::vector<std::uint8_t>{1}).has_value());
  EXPECT_FALSE(system.files().SetEndOfFile(reader.handle));
  EXPECT_EQ(open(u"C:\\busy.log", platform::kGenericRead).lastError,
            platform::kErrorSharingViolation);
  EXPECT_FALSE(
      system.files().SetFileAttributesWide(u"C:\\missing.log", platform::kFileAttributeNormal));
  EXPECT_TRUE(system.files().SetFileAttributesWide(u"C:\\ro.log", platform::kFileAttributeNormal));
  // The reader shares nothing: only once it is closed can a writer open it.
  EXPECT_EQ(open(u"C:\\ro.log", platform::kGenericWrite).lastError,
            platform::kErrorSharingViolation);
  system.runtime().CloseHandle(reader.handle);
  EXPECT_NE(open(u"C:\\ro.log", platform::kGenericWrite).handle, 0u);
}

TEST(FakeFiles, HandlesShareAsAskedAndTheLoaderNeedsReadSharing) {
  constexpr std::uint32_t kRead = platform::kGenericRead;
  constexpr std::uint32_t kWrite = platform::kGenericWrite;
  constexpr std::uint32_t kShareRead = platform::kFileShareRead;
  constexpr std::uint32_t kShareWrite = platform::kFileShareWrite;
  struct Case {
    const char* name;
    std::uint32_t heldAccess;
    std::uint32_t heldShare;
    std::uint32_t access;
    std::uint32_t share;
    bool opens;
    bool loads;  // LoadLibraryW of the file while the first handle is open
  };
  const Case cases[] = {
      {"readers sharing reading", kRead, kShareRead, kRead, kShareRead, true, true},
      {"a writer where reading only is shared", kRead, kShareRead, kWrite, kShareRead | kShareWrite,
       false, true},
      {"a reader that does not share the held reading", kRead, kShareRead, kRead, kShareWrite,
       false, true},
      {"a reader where nothing is shared", kRead, 0, kRead, kShareRead, false, false},
      {"a reader beside a writer sharing both", kWrite, kShareRead | kShareWrite, kRead,
       kShareRead | kShareWrite, true, false},
      {"no data access is not checked", kRead, 0, 0, 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    system.fileSystem.AddFile(u"C:\\lib.dll", {'M', 'Z'});
    const auto held = system.files().CreateFileWide(u"C:\\lib.dll", c.heldAccess, c.heldShare,
                                                    platform::kOpenExisting, 0);
    ASSERT_NE(held.handle, 0u);
    const auto second = system.files().CreateFileWide(u"C:\\lib.dll", c.access, c.share,
                                                      platform::kOpenExisting, 0);
    EXPECT_EQ(second.handle != 0, c.opens);
    if (second.handle != 0) {
      system.runtime().CloseHandle(second.handle);
    } else {
      EXPECT_EQ(second.lastError, platform::kErrorSharingViolation);
    }
    EXPECT_EQ(system.runtime().LoadLibraryWide(u"C:\\lib.dll") != 0, c.loads);
    system.runtime().CloseHandle(held.handle);
    EXPECT_NE(system.runtime().LoadLibraryWide(u"C:\\lib.dll"), 0u);
  }
}

TEST(FakeFiles, FoldersAreMadeOnlyWhereNothingIsAndRemovedOnlyEmpty) {
  FakeSystem system;
  platform::Files& files = system.files();
  system.fileSystem.AddFile(u"C:\\TEMP\\taken.txt");
  EXPECT_EQ(files.CreateDirectoryWide(u"C:\\TEMP\\New"), 0u);
  EXPECT_TRUE(system.fileSystem.FolderExists(u"c:\\temp\\new"));
  EXPECT_EQ(files.CreateDirectoryWide(u"C:\\TEMP\\NEW"), platform::kErrorAlreadyExists);
  EXPECT_EQ(files.CreateDirectoryWide(u"C:\\TEMP\\taken.txt"), platform::kErrorAlreadyExists);
  EXPECT_EQ(files.CreateDirectoryWide(u"C:\\NOWHERE\\New"), platform::kErrorPathNotFound);
  system.fileSystem.AddFile(u"C:\\TEMP\\New\\a.dll");
  EXPECT_FALSE(files.RemoveDirectoryWide(u"C:\\TEMP\\New"));
  EXPECT_TRUE(files.DeleteFileWide(u"C:\\TEMP\\New\\a.dll"));
  EXPECT_TRUE(files.RemoveDirectoryWide(u"C:\\TEMP\\New"));
  EXPECT_FALSE(system.fileSystem.FolderExists(u"C:\\TEMP\\New"));
  EXPECT_FALSE(files.RemoveDirectoryWide(u"C:\\TEMP\\New"));
  EXPECT_FALSE(files.RemoveDirectoryWide(u"C:\\"));
  EXPECT_TRUE(system.fileSystem.FolderExists(u"C:\\TEMP"));
}

TEST(FakeFiles, RelativePathsStartAtTheCurrentFolderAndWritesAreRecorded) {
  FakeSystem system;
  system.fileSystem.currentDirectory = u"C:\\Program Files\\Quelvix";
  const platform::Handle file =
      system.files()
          .CreateFileWide(u"out.bin", platform::kGenericWrite, 0, platform::kCreateNew, 0)
          .handle;
  ASSERT_NE(file, 0u);
  EXPECT_EQ(system.files().WriteFile(file, std::vector<std::uint8_t>{1, 2, 3, 4}), 4u);
  EXPECT_EQ(system.files().WriteFile(file, std::vector<std::uint8_t>{5}), 1u);
  EXPECT_TRUE(system.runtime().CloseHandle(file));
  const auto* stored = system.fileSystem.Find(u"C:\\Program Files\\Quelvix\\out.bin");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(system.fileSystem.writes.size(), 2u);
  EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
}

TEST(FakeFiles, AttributesMayFailForAListedName) {
  FakeSystem system;
  platform::Files& area = static_cast<platform::System&>(system).files();
  system.fileSystem.AddFile(u"C:\\Data\\dot.").attributesFail = true;
  const auto dot = area.FindFirstFileWide(u"C:\\Data\\dot.");
  ASSERT_TRUE(dot);
  area.FindClose(dot->search);
  EXPECT_FALSE(area.GetFileAttributesWide(u"C:\\Data\\dot."));
}

TEST(FakeFiles, MovesKeepTheFileAndRefuseFilesInUseAndTakenNames) {
  FakeSystem system;
  platform::Files& area = static_cast<platform::System&>(system).files();
  auto& files = system.fileSystem;
  files.AddFile(u"C:\\a.txt", {1}).attributes = platform::kFileAttributeReadOnly;
  files.AddFile(u"C:\\taken.txt", {2});
  files.AddFile(u"C:\\ro.txt", {3}).attributes = platform::kFileAttributeReadOnly;
  files.AddFile(u"C:\\busy.txt", {4}).refusesOpening = true;

  // Each refusal with the last error of the NT family.
  const struct {
    const char16_t* from;
    const char16_t* to;
    std::uint32_t lastError;
  } refused[] = {
      {u"C:\\a.txt", u"C:\\taken.txt", platform::kErrorAlreadyExists},
      {u"C:\\a.txt", u"C:\\none\\a.txt", platform::kErrorPathNotFound},
      {u"C:\\busy.txt", u"C:\\b.txt", platform::kErrorSharingViolation},
      {u"C:\\busy.txt", u"C:\\taken.txt", platform::kErrorSharingViolation},
      {u"C:\\none.txt", u"C:\\b.txt", platform::kErrorFileNotFound},
  };
  for (const auto& r : refused) {
    const platform::FileMoveResult result = area.MoveFileWide(r.from, r.to);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.lastError, r.lastError) << text::ToUtf8(r.from) << " " << text::ToUtf8(r.to);
  }
  // Windows 98 answers a taken name as MS-DOS's rename does.
  FakeSystem ninetyEight;
  platform::fake::SetUpWindows98(ninetyEight);
  ninetyEight.fileSystem.AddFile(u"C:\\a.txt");
  ninetyEight.fileSystem.AddFile(u"C:\\taken.txt");
  EXPECT_EQ(static_cast<platform::System&>(ninetyEight)
                .files()
                .MoveFileWide(u"C:\\a.txt", u"C:\\taken.txt")
                .lastError,
            platform::kErrorAccessDenied);
  // A read-only file may be renamed, and keeps its attributes.
  ASSERT_TRUE(area.MoveFileWide(u"C:\\a.txt", u"C:\\Sub.TXT").moved);
  EXPECT_EQ(files.Find(u"C:\\a.txt"), nullptr);
  EXPECT_EQ(files.Find(u"C:\\sub.txt")->attributes, platform::kFileAttributeReadOnly);
  const auto listed = area.FindFirstFileWide(u"C:\\sub.txt");
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->data.name, u"Sub.TXT");
  area.FindClose(listed->search);

  // Replacing: only a writable file that is not in use.
  EXPECT_TRUE(
      area.MoveFileExWide(u"C:\\Sub.txt", u"C:\\taken.txt", platform::kMoveFileReplaceExisting));
  EXPECT_EQ(files.Find(u"C:\\taken.txt")->bytes, (std::vector<std::uint8_t>{1}));
  EXPECT_FALSE(
      area.MoveFileExWide(u"C:\\taken.txt", u"C:\\ro.txt", platform::kMoveFileReplaceExisting));
  EXPECT_FALSE(
      area.MoveFileExWide(u"C:\\taken.txt", u"C:\\busy.txt", platform::kMoveFileReplaceExisting));
  EXPECT_FALSE(area.MoveFileExWide(u"C:\\taken.txt", u"C:\\ro.txt", 0));
  EXPECT_TRUE(files.delayedMoves.empty());
}

TEST(FakeFiles, DelayedMovesAreRecordedCanBeRefusedAndAreMissingOnWindows9x) {
  FakeSystem system;
  platform::Files& area = static_cast<platform::System&>(system).files();
  system.fileSystem.AddFile(u"C:\\in-use.exe").refusesOpening = true;
  EXPECT_TRUE(
      area.MoveFileExWide(u"c:\\In-Use.exe", std::nullopt, platform::kMoveFileDelayUntilReboot));
  EXPECT_TRUE(area.MoveFileExWide(u"C:\\in-use.exe", u"C:\\renamed.exe",
                                  platform::kMoveFileDelayUntilReboot));
  system.fileSystem.delayedMovesRefused = true;
  EXPECT_FALSE(
      area.MoveFileExWide(u"C:\\in-use.exe", std::nullopt, platform::kMoveFileDelayUntilReboot));
  EXPECT_EQ(system.fileSystem.delayedMoves,
            (std::vector<platform::fake::FakeDelayedMove>{
                {u"c:\\In-Use.exe", u""}, {u"C:\\in-use.exe", u"C:\\renamed.exe"}}));
  EXPECT_NE(system.fileSystem.Find(u"C:\\in-use.exe"), nullptr);

  platform::fake::SetUpWindows98(system);
  system.fileSystem.delayedMovesRefused = false;
  system.fileSystem.AddFile(u"C:\\free.txt");
  EXPECT_FALSE(
      area.MoveFileExWide(u"C:\\in-use.exe", std::nullopt, platform::kMoveFileDelayUntilReboot));
  EXPECT_FALSE(
      area.MoveFileExWide(u"C:\\free.txt", u"C:\\moved.txt", platform::kMoveFileReplaceExisting));
  EXPECT_EQ(system.fileSystem.delayedMoves.size(), 2u);
}

TEST(FakeFiles, TheFailingStepOfChangeFailsAndAFailingWriteStoresHalf) {
  FakeSystem system;
  platform::Files& area = static_cast<platform::System&>(system).files();
  auto& files = system.fileSystem;
  files.failingStep = 1;  // creating the file is step 0, the write step 1
  const auto opened =
      area.CreateFileWide(u"C:\\new.txt", platform::kGenericWrite, 0, platform::kCreateNew, 0);
  ASSERT_NE(opened.handle, 0u);
  EXPECT_FALSE(area.WriteFile(opened.handle, std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(area.WriteFile(opened.handle, std::vector<std::uint8_t>{5}), 1u);
  system.runtime().CloseHandle(opened.handle);
  EXPECT_EQ(files.Find(u"C:\\new.txt")->bytes, (std::vector<std::uint8_t>{1, 2, 5}));
  EXPECT_EQ(files.changeSteps, 3u);
  // Reading changes nothing; every kind of change is a step.
  files.failingStep = files.changeSteps;
  const auto reader =
      area.CreateFileWide(u"C:\\new.txt", platform::kGenericRead, 0, platform::kOpenExisting, 0);
  EXPECT_NE(reader.handle, 0u);
  system.runtime().CloseHandle(reader.handle);
  EXPECT_FALSE(area.DeleteFileWide(u"C:\\new.txt"));
  EXPECT_TRUE(area.DeleteFileWide(u"C:\\new.txt"));
}

TEST(FakeProfileFiles, SectionsAndKeysFollowTheSystemsRules) {
  FakeSystem system;
  platform::ProfileFiles& profiles = system.profileFiles();
  const std::string original =
      "top=none\r\n"
      "[Boot]\r\n"
      "  Shell = Explorer.exe evil.exe  \r\n"
      "; a comment\r\n"
      "\r\n"
      "no equals here\r\n"
      "[boot]\r\n"
      "shell=second\r\n"
      "[386Enh]\r\n"
      "device=a.386\r\n"
      "Device=b.386\r\n"
      "x=1";
  system.fileSystem.AddFile(u"C:\\WINDOWS\\system.ini",
                            std::vector<std::uint8_t>(original.begin(), original.end()));
  const std::u16string ini = u"C:\\WINDOWS\\system.ini";

  using Strings = std::vector<std::u16string>;
  EXPECT_EQ(profiles.GetPrivateProfileSectionNamesWide(100, ini),
            (Strings{u"Boot", u"boot", u"386Enh"}));
  // "Boot\0boot\0" and the cut "38" in a buffer of 14 with its two zeros.
  EXPECT_EQ(profiles.GetPrivateProfileSectionNamesWide(14, ini),
            (Strings{u"Boot", u"boot", u"38"}));
  EXPECT_EQ(profiles.GetPrivateProfileSectionWide(u"BOOT", 100, ini),
            (Strings{u"Shell=Explorer.exe evil.exe", u"no equals here"}));
  EXPECT_EQ(profiles.GetPrivateProfileSectionWide(u"386enh", 100, ini),
            (Strings{u"device=a.386", u"Device=b.386", u"x=1"}));
  EXPECT_EQ(profiles.GetPrivateProfileSectionWide(u"none", 100, ini), Strings{});
  EXPECT_EQ(profiles.GetPrivateProfileSectionNamesWide(100, u"C:\\WINDOWS\\none.ini"), Strings{});

  // A write changes the first matching line only, keeping the key's spelling
  // and the line's end.
  ASSERT_TRUE(profiles.WritePrivateProfileStringWide(u"boot", u"SHELL", u"explorer.exe", ini));
  ASSERT_TRUE(profiles.WritePrivateProfileStringWide(u"386enh", u"y", u"", ini));
  ASSERT_TRUE(profiles.WritePrivateProfileStringWide(u"386enh", u"DEVICE", u"c.386", ini));
  ASSERT_TRUE(profiles.WritePrivateProfileStringWide(u"drivers", u"wave", u"x.drv", ini));
  EXPECT_EQ(system.fileSystem.Text(ini),
            "top=none\r\n"
            "[Boot]\r\n"
            "Shell=explorer.exe  \r\n"
            "; a comment\r\n"
            "\r\n"
            "no equals here\r\n"
            "[boot]\r\n"
            "shell=second\r\n"
            "[386Enh]\r\n"
            "device=c.386\r\n"
            "Device=b.386\r\n"
            "x=1\r\n"
            "y=\r\n"
            "[drivers]\r\n"
            "wave=x.drv\r\n");

  // A missing file is created; a read-only one refuses.
  ASSERT_TRUE(profiles.WritePrivateProfileStringWide(u"s", u"k", u"v", u"C:\\WINDOWS\\new.ini"));
  EXPECT_EQ(system.fileSystem.Text(u"C:\\WINDOWS\\new.ini"), "[s]\r\nk=v\r\n");
  system.fileSystem.Find(ini)->attributes = platform::kFileAttributeReadOnly;
  EXPECT_FALSE(profiles.WritePrivateProfileStringWide(u"boot", u"shell", u"x", ini));
}

TEST(FakeWinsock, StartUpNegotiatesAndNamesNeedAStartedLibrary) {
  FakeSystem system;
  const platform::Handle ws2 = system.runtime().LoadLibraryAnsi("ws2_32.dll");
  const auto startup = system.network().BindWsaStartup(ws2);
  const auto cleanup = system.network().BindWsaCleanup(ws2);
  const auto name = system.network().BindGetHostName(ws2);
  const auto resolve = system.network().BindGetHostByName(ws2);
  ASSERT_TRUE(startup && cleanup && name && resolve);
  EXPECT_FALSE(name(299).has_value());  // not started
  // Version 0.1 (major in the low byte) is below every version there is: the
  // call fails but tells the highest version.
  const auto probe = startup(0x0100);
  EXPECT_EQ(probe.error, platform::fake::kWsaVersionNotSupported);
  EXPECT_EQ(probe.highVersion, 0x0202);
  EXPECT_FALSE(name(299).has_value());
  EXPECT_EQ(startup(0x0101).version, 0x0101);
  EXPECT_EQ(startup(0x0303).version, 0x0202);
  EXPECT_EQ(name(299), "QRT-TEST");
  EXPECT_EQ(resolve("QRT-TEST")->size(), 2u);
  EXPECT_FALSE(resolve("elsewhere").has_value());
  EXPECT_EQ(cleanup(), 0);
  EXPECT_EQ(cleanup(), 0);
  EXPECT_EQ(cleanup(), platform::fake::kWsaNotInitialised);
  system.runtime().FreeLibraryHandle(ws2);
  EXPECT_THROW(startup(0x0100), std::logic_error);
  EXPECT_FALSE(system.network().BindWsaStartup(ws2));
  // Another library does not offer these functions.
  EXPECT_FALSE(system.network().BindGetHostName(system.runtime().LoadLibraryAnsi("RICHED20.DLL")));
}

TEST(FakeVersionInfo, BlockIsLaidOutAsAVersionInfoAndItsReadCanFail) {
  FakeSystem system;
  const std::u16string own = system.moduleFileName;
  const std::uint32_t size = system.resources().GetFileVersionInfoSizeWide(own);
  const auto block = system.resources().GetFileVersionInfoWide(own, size);
  ASSERT_TRUE(block.has_value());
  // The root's wLength is the whole block; its key, after wValueLength and
  // wType, is "VS_VERSION_INFO" with its zero; the fixed file information
  // follows at offset 40, aligned to 4.
  EXPECT_EQ(bytes::LittleEndian16(*block, 0), size);
  EXPECT_EQ(bytes::LittleEndian16(*block, 2), 52u);
  EXPECT_EQ(bytes::Utf16LeUntilZero(std::span(*block).subspan(6, 32)), u"VS_VERSION_INFO");
  EXPECT_EQ(bytes::LittleEndian32(*block, 40), 0xFEEF04BDu);
  // The values are looked up in the bytes, not beside them.
  std::vector<std::uint8_t> damaged = *block;
  damaged[6] = 'X';
  EXPECT_FALSE(
      system.resources().VerQueryValueText(damaged, u"\\StringFileInfo\\040904B0\\FileVersion"));
  // A smaller buffer gets the block cut to its size (the shared cases run
  // it against Windows too).
  EXPECT_EQ(system.resources().GetFileVersionInfoWide(own, 8)->size(), 8u);
  system.versionResources[own].readFails = true;
  EXPECT_FALSE(system.resources().GetFileVersionInfoWide(own, size).has_value());
}

}  // namespace

namespace {

TEST(FakeSystem, BoundFunctionsComeOnlyFromTheirOwnLoadedLibrary) {
  FakeSystem system;
  const auto shell32 = system.runtime().LoadLibraryWide(u"SHELL32.DLL");
  const auto kernel32 = system.runtime().LoadLibraryWide(u"kernel32.dll");
  EXPECT_TRUE(system.folders().BindSpecialFolderPath(shell32));
  EXPECT_FALSE(system.folders().BindSpecialFolderPath(kernel32));
  EXPECT_TRUE(system.folders().BindLongPathName(kernel32));
  EXPECT_FALSE(system.folders().BindLongPathName(shell32));
  system.missingFunctions.insert("GetLongPathNameW");
  EXPECT_FALSE(system.folders().BindLongPathName(kernel32));
  system.runtime().FreeLibraryHandle(shell32);
  EXPECT_FALSE(system.folders().BindSpecialFolderPath(shell32));
}

TEST(FakeSystem, FoldersFollowTheLayout) {
  FakeSystem system;  // Windows XP
  EXPECT_EQ(system.folders().SystemDirectory(), u"C:\\WINDOWS\\system32");
  EXPECT_EQ(system.folders().WindowsDirectory(), u"C:\\WINDOWS");
  EXPECT_EQ(system.folders().TempPath(), u"C:\\DOCUME~1\\ADMINI~1\\LOCALS~1\\Temp\\");
  const auto folder =
      system.folders().BindSpecialFolderPath(system.runtime().LoadLibraryWide(u"shell32.dll"));
  EXPECT_EQ(folder(0, platform::kCsidlProgramFiles, false), u"C:\\Program Files");
  EXPECT_EQ(folder(0, 0x1234, false), std::nullopt);
  const auto longPath =
      system.folders().BindLongPathName(system.runtime().LoadLibraryWide(u"KERNEL32.DLL"));
  EXPECT_EQ(longPath(u"c:\\docume~1\\admini~1\\locals~1\\temp\\"),
            u"C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\");
  EXPECT_EQ(longPath(u"C:\\Long Name"), u"C:\\Long Name");

  platform::fake::SetUpWindows98(system);
  EXPECT_EQ(system.version->platformId, platform::kPlatformWin32Windows);
  EXPECT_EQ(folder(0, platform::kCsidlProfile, false), std::nullopt);
  platform::fake::SetUpWindowsNt4(system);
  EXPECT_EQ(system.version->majorVersion, 4u);
  EXPECT_EQ(system.folders().TempPath(), u"C:\\TEMP\\");
  EXPECT_TRUE(system.missingFunctions.count("GetLongPathNameW"));
}

}  // namespace

namespace {

using platform::fake::MakeProcess;

TEST(FakeProcesses, LibrariesByPathAndTheirExports) {
  FakeSystem system;
  // A path loads an existing image file only.
  EXPECT_EQ(system.runtime().LoadLibraryWide(u"C:\\TEMP\\PSAPI.DLL"), 0u);
  system.fileSystem.AddFile(u"C:\\TEMP\\PSAPI.DLL", {'Z', 'M'});
  EXPECT_EQ(system.runtime().LoadLibraryWide(u"C:\\TEMP\\PSAPI.DLL"), 0u);
  system.fileSystem.AddFile(u"C:\\TEMP\\PSAPI.DLL", {'M', 'Z'});
  const auto psapi = system.runtime().LoadLibraryWide(u"C:\\TEMP\\PSAPI.DLL");
  ASSERT_NE(psapi, 0u);
  EXPECT_EQ(system.loadedLibraries.back(), u"C:\\TEMP\\PSAPI.DLL");
  // Bare names keep to the loadable list.
  EXPECT_EQ(system.runtime().LoadLibraryWide(u"PSAPI.DLL"), 0u);

  const auto kernel32 = system.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  EXPECT_TRUE(system.processes().BindEnumProcesses(psapi));
  EXPECT_FALSE(system.processes().BindEnumProcesses(kernel32));
  EXPECT_TRUE(system.processes().BindModuleName(psapi, "GetModuleFileNameExW"));
  EXPECT_FALSE(system.processes().BindModuleName(psapi, "GetModuleFileNameExA"));
  EXPECT_TRUE(system.processes().BindCreateToolhelp32Snapshot(kernel32));
  EXPECT_FALSE(system.processes().BindCreateToolhelp32Snapshot(psapi));
  EXPECT_FALSE(system.processes().BindProcessWalkWide(kernel32, "Process32First"));
  EXPECT_FALSE(system.processes().BindProcessWalkAnsi(kernel32, "Process32FirstW"));
  system.missingFunctions.insert("EnumProcesses");
  EXPECT_FALSE(system.processes().BindEnumProcesses(psapi));

  // A function called after its library was freed is a fault of the program.
  const auto enumModules = system.processes().BindEnumProcessModules(psapi);
  system.runtime().FreeLibraryHandle(psapi);
  EXPECT_THROW(enumModules(1, 10), std::logic_error);
}

TEST(FakeProcesses, EachFamilyHasItsOwnToolHelp) {
  FakeSystem system;
  system.processTable.processes = {MakeProcess(4, u"C:\\WINDOWS\\Explorer.EXE")};
  const auto kernel32 = system.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  const auto snapshot = system.processes().BindCreateToolhelp32Snapshot(kernel32);

  // Windows XP: wide functions, file names.
  auto first = system.processes().BindProcessWalkWide(kernel32, "Process32FirstW");
  auto next = system.processes().BindProcessWalkWide(kernel32, "Process32NextW");
  const auto handle = snapshot(platform::kTh32csSnapProcess, 0);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(first(handle)->exeFile, u"Explorer.EXE");
  EXPECT_FALSE(next(handle));
  EXPECT_EQ(first(handle)->processId, 4u);  // First starts over
  EXPECT_EQ(system.OpenProcessObjectCount(), 1u);
  EXPECT_TRUE(system.runtime().CloseHandle(handle));
  EXPECT_FALSE(first(handle));

  // Windows 98: only the narrow functions, full paths.
  platform::fake::SetUpWindows98(system);
  EXPECT_FALSE(system.processes().BindProcessWalkWide(kernel32, "Process32FirstW"));
  EXPECT_FALSE(system.processes().BindModuleWalkWide(kernel32, "Module32NextW"));
  const auto firstAnsi = system.processes().BindProcessWalkAnsi(kernel32, "Process32First");
  const auto handle98 = snapshot(platform::kTh32csSnapProcess, 0);
  EXPECT_EQ(firstAnsi(handle98)->exeFile, "C:\\WINDOWS\\Explorer.EXE");
  system.runtime().CloseHandle(handle98);

  // Windows NT 4: no Tool Help at all.
  platform::fake::SetUpWindowsNt4(system);
  EXPECT_FALSE(system.processes().BindCreateToolhelp32Snapshot(kernel32));
  EXPECT_FALSE(system.processes().BindProcessWalkAnsi(kernel32, "Process32First"));
  platform::fake::SetUpWindowsXp(system);
  EXPECT_TRUE(system.processes().BindModuleWalkWide(kernel32, "Module32FirstW"));
}

TEST(FakeProcesses, PsapiAnswersCutToTheBuffersOffered) {
  FakeSystem system;
  system.loadableLibraries.insert(u"PSAPI.DLL");
  const auto psapi = system.runtime().LoadLibraryWide(u"PSAPI.DLL");
  for (std::uint32_t id = 1; id <= 5; ++id) {
    system.processTable.processes.push_back(
        MakeProcess(id, u"C:\\APP\\Program.exe", {u"C:\\APP\\one.dll", u"C:\\APP\\two.dll"}));
  }
  EXPECT_EQ(system.processes().BindEnumProcesses(psapi)(12)->size(), 3u);
  const auto process = system.processes().OpenProcess(0x410, 2);
  ASSERT_NE(process, 0u);
  EXPECT_EQ(system.processes().OpenProcess(0x410, 99), 0u);
  const auto modules = system.processes().BindEnumProcessModules(psapi)(process, 2);
  ASSERT_EQ(modules->size(), 2u);
  const auto baseName = system.processes().BindModuleName(psapi, "GetModuleBaseNameW");
  EXPECT_EQ(baseName(process, (*modules)[0], 260), u"Program.exe");
  EXPECT_EQ(baseName(process, (*modules)[0], 4), u"Pro");
  EXPECT_EQ(
      system.processes().BindModuleName(psapi, "GetModuleFileNameExW")(process, (*modules)[1], 260),
      u"C:\\APP\\one.dll");
  EXPECT_EQ(system.processes().BindGetModuleInformation(psapi)(process, (*modules)[1])->baseAddress,
            0x10000000u);
  EXPECT_TRUE(system.runtime().CloseHandle(process));
  EXPECT_FALSE(baseName(process, (*modules)[0], 260));
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

}  // namespace

namespace {

TEST(FakeAccounts, MembershipIsAnsweredForTheCallersTokenAndAllocatedSids) {
  FakeSystem system;
  const auto advapi32 = system.runtime().LoadLibraryWide(u"advapi32.dll");
  const auto allocate = system.processes().BindAllocateAndInitializeSid(advapi32);
  const auto check = system.processes().BindCheckTokenMembership(advapi32);
  const auto free = system.processes().BindFreeSid(advapi32);
  ASSERT_TRUE(allocate && check && free);
  const std::uint32_t admins[] = {32, 544};
  const std::uint32_t guests[] = {32, 546};
  const platform::Sid administrators = allocate({0, 0, 0, 0, 0, 5}, admins);
  const platform::Sid guestGroup = allocate({0, 0, 0, 0, 0, 5}, guests);
  EXPECT_EQ(system.accounts.sids.at(administrators), u"S-1-5-32-544");
  EXPECT_EQ(check(0, administrators), true);
  EXPECT_EQ(check(0, guestGroup), false);
  // The process's own token is a primary token, which the call refuses.
  const auto token = system.processes().OpenProcessToken(platform::kTokenQuery);
  EXPECT_EQ(check(token, administrators), std::nullopt);
  system.accounts.membershipCheckFails = true;
  EXPECT_EQ(check(0, administrators), std::nullopt);
  free(administrators);
  free(guestGroup);
  EXPECT_TRUE(system.accounts.sids.empty());
  EXPECT_THROW(free(guestGroup), std::logic_error);
  // Windows NT 4 lacks the check.
  platform::fake::SetUpWindowsNt4(system);
  EXPECT_FALSE(system.processes().BindCheckTokenMembership(advapi32));
  EXPECT_TRUE(system.processes().BindFreeSid(advapi32));
}

TEST(FakeAccounts, NetUserGetInfoKnowsOnlyLocalAccountsAndCountsItsBuffers) {
  FakeSystem system;
  const auto netapi32 = system.runtime().LoadLibraryWide(u"Netapi32.dll");
  const auto getInfo = system.network().BindNetUserGetInfo(netapi32);
  const auto freeBuffer = system.network().BindNetApiBufferFree(netapi32);
  ASSERT_TRUE(getInfo && freeBuffer);
  EXPECT_EQ(system.processes().GetUserNameWide(257), u"Tester");
  EXPECT_EQ(system.processes().GetUserNameWide(6), std::nullopt);  // no room for the zero
  const auto admin = getInfo(u"", u"tester", 1);
  EXPECT_EQ(admin.status, 0u);
  EXPECT_EQ(admin.privilege, platform::kUserPrivAdmin);
  EXPECT_EQ(getInfo(u"", u"tester", 0).privilege, 0u);
  EXPECT_EQ(getInfo(u"", u"Nobody", 1).status, platform::fake::kNerrUserNotFound);
  EXPECT_EQ(system.accounts.userInfoBuffers.size(), 2u);
  for (const auto buffer : std::set(system.accounts.userInfoBuffers)) freeBuffer(buffer);
  EXPECT_THROW(freeBuffer(admin.buffer), std::logic_error);
  system.runtime().FreeLibraryHandle(netapi32);
  EXPECT_THROW(getInfo(u"", u"Tester", 1), std::logic_error);
}

TEST(FakeSystem, ExitWindowsNeedsTheShutdownPrivilegeOnNt) {
  FakeSystem system;  // Windows XP
  EXPECT_FALSE(system.runtime().ExitWindowsEx(6));
  const auto token = system.processes().OpenProcessToken(0x28);
  system.processTable.adjustAnswer = {true, platform::kErrorNotAllAssigned};
  system.processes().AdjustTokenPrivileges(token, 19, platform::kSePrivilegeEnabled);
  EXPECT_FALSE(system.runtime().ExitWindowsEx(6));
  system.processTable.adjustAnswer = {true, 0};
  system.processes().AdjustTokenPrivileges(token, 19, platform::kSePrivilegeEnabled);
  EXPECT_TRUE(system.runtime().ExitWindowsEx(6));
  system.exitWindowsRefused = true;
  EXPECT_FALSE(system.runtime().ExitWindowsEx(6));

  FakeSystem ninetyEight;
  platform::fake::SetUpWindows98(ninetyEight);
  EXPECT_TRUE(ninetyEight.runtime().ExitWindowsEx(6));
  EXPECT_EQ(system.exitWindowsCalls, (std::vector<std::uint32_t>{6, 6, 6, 6}));
}

TEST(FakeRegistry, DeniedKeysMissingRootsAndOpenHandles) {
  using namespace platform;
  FakeSystem system;  // Windows XP
  Registry& registry = system.registry();
  system.registryTree.AddKey(kHkeyLocalMachine, u"Software\\Denied").deniedAccess = kKeySetValue;

  const RegistryOpenResult denied =
      registry.RegOpenKeyExWide(kHkeyLocalMachine, u"Software\\Denied", kKeyRead);
  EXPECT_EQ(denied.status, kErrorSuccess);
  EXPECT_EQ(registry.RegOpenKeyExWide(kHkeyLocalMachine, u"Software\\Denied", kKeyAllAccess).status,
            kErrorAccessDenied);
  EXPECT_EQ(registry.RegOpenKeyExWide(kHkeyDynData, u"", kKeyRead).status, kErrorInvalidHandle);
  EXPECT_EQ(registry.RegDeleteKeyWide(kHkeyLocalMachine, u""), kErrorAccessDenied);
  EXPECT_EQ(system.OpenRegistryKeyCount(), 1u);
  EXPECT_EQ(registry.RegCloseKey(denied.key), kErrorSuccess);
  EXPECT_EQ(system.OpenRegistryKeyCount(), 0u);
}

TEST(FakeProcesses, LoweringEndingAndWaitingFollowTheClock) {
  using namespace platform;
  FakeSystem system;
  Processes& processes = system.processes();
  system.processTable.processes = {fake::MakeProcess(10, u"C:\\a.exe"),
                                   fake::MakeProcess(11, u"C:\\b.exe")};
  system.processTable.Find(10)->endsAfter = 3000;
  system.processTable.Find(11)->endsAfter = std::nullopt;
  system.processTable.Find(11)->refusesPriority = true;
  const Handle a = processes.OpenProcess(kProcessAllAccess, 10);
  const Handle b = processes.OpenProcess(kProcessAllAccess, 11);
  const Handle readOnly = processes.OpenProcess(kProcessQueryInformation, 10);
  EXPECT_FALSE(processes.SetPriorityClass(readOnly, kIdlePriorityClass));
  EXPECT_FALSE(processes.TerminateProcess(readOnly, 0));
  EXPECT_EQ(processes.WaitForProcess(readOnly, 0), ProcessWait::kFailed);
  EXPECT_TRUE(processes.SetPriorityClass(a, kIdlePriorityClass));
  EXPECT_FALSE(processes.SetPriorityClass(b, kIdlePriorityClass));

  // Still running: a wait times out and moves the clock by its time.
  EXPECT_EQ(processes.WaitForProcess(a, 1000), ProcessWait::kTimedOut);
  EXPECT_EQ(system.tickCount, 2000u);
  EXPECT_TRUE(processes.TerminateProcess(a, 9));
  EXPECT_EQ(processes.WaitForProcess(a, 2999), ProcessWait::kTimedOut);
  EXPECT_EQ(processes.WaitForProcess(a, 5000), ProcessWait::kEnded);
  EXPECT_EQ(system.tickCount, 5000u);
  EXPECT_EQ(processes.WaitForProcess(a, 0), ProcessWait::kEnded);
  EXPECT_EQ(system.processTable.ended.at(0).exitCode, 9u);
  EXPECT_EQ(processes.OpenProcess(kProcessAllAccess, 10), 0u);

  EXPECT_TRUE(processes.TerminateProcess(b, 0));
  EXPECT_THROW(processes.WaitForProcess(b, kInfinite), std::logic_error);
  for (Handle h : {a, b, readOnly}) system.runtime().CloseHandle(h);

  // One wait covers at most 64 threads.
  std::vector<Handle> threads;
  int ran = 0;
  for (int i = 0; i < 65; ++i) threads.push_back(system.runtime().StartThread([&ran] { ++ran; }));
  EXPECT_FALSE(system.runtime().WaitForThreads(threads));
  EXPECT_TRUE(system.runtime().WaitForThreads(std::span(threads).first(64)));
  EXPECT_EQ(ran, 64);
  for (Handle h : threads) system.runtime().CloseHandle(h);
}

}  // namespace
