// The system context: version flags and the functions bound at run time.
#include "system/system_context.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "fake_setup.h"
#include "script_test_support.h"
#include "system/own_psapi.h"

namespace {

using Libraries = std::vector<std::u16string>;
using Bytes = std::vector<std::uint8_t>;

// The Process Status Helper image the fake program carries.
const Bytes kPsapiImage = [] {
  Bytes image(5000, 0xA5);
  image[0] = 'M';
  image[1] = 'Z';
  return image;
}();
// The folders the program makes for its PSAPI.DLL, in the order it tries
// them: from the tick count on (the fake's stands still at 1000).
constexpr char16_t kFirstFolder[] = u"C:\\TEMP\\QRT003E8";
constexpr char16_t kNt4PsapiPath[] = u"C:\\TEMP\\QRT003E8\\PSAPI.DLL";
std::u16string FolderNumber(int n) { return text::Format(u"C:\\TEMP\\QRT%05X", {0x3E8 + n}); }

// A temporary folder that gives a PSAPI.DLL path of `length` characters.
std::u16string TempFolderFor(std::size_t length) {
  return u"C:\\" + std::u16string(length - 22, u'T') + u"\\";
}

class SystemContextTest : public script_test::FakeSystemTest {};

TEST_F(SystemContextTest, VersionFlagsOfEachFamily) {
  struct Case {
    std::uint32_t platformId;
    std::uint32_t major;
    bool windows9x;
    bool nt4;
  };
  const Case cases[] = {
      {platform::kPlatformWin32Windows, 4, true, false},
      {platform::kPlatformWin32Nt, 4, false, true},
      {platform::kPlatformWin32Nt, 5, false, false},
      {platform::kPlatformWin32Nt, 3, false, false},
      {0, 4, false, false},  // an unknown platform
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.platformId << "." << c.major);
    system.version = platform::OsVersion{c.platformId, c.major, 0, 0, u""};
    sys::SystemContext context(system);
    EXPECT_FALSE(context.versionQueryFailed());
    EXPECT_EQ(context.isWindows9x(), c.windows9x);
    EXPECT_EQ(context.isWindowsNt4(), c.nt4);
  }
}

TEST_F(SystemContextTest, BindsShellThenKernelFunctionsAndReleasesBothAtTheEnd) {
  {
    sys::SystemContext context(system);
    EXPECT_EQ(system.loadedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));
    EXPECT_TRUE(context.specialFolderPath());
    EXPECT_TRUE(context.longPathName());
    EXPECT_TRUE(system.freedLibraries.empty());
  }
  EXPECT_EQ(system.freedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));
}

TEST_F(SystemContextTest, FailedVersionQueryBindsNothing) {
  system.version.reset();
  sys::SystemContext context(system);
  EXPECT_TRUE(context.versionQueryFailed());
  EXPECT_FALSE(context.isWindows9x() || context.isWindowsNt4());
  EXPECT_FALSE(context.specialFolderPath());
  EXPECT_FALSE(context.longPathName());
  EXPECT_TRUE(system.loadedLibraries.empty());
}

TEST_F(SystemContextTest, MissingFunctionsAndLibraries) {
  system.missingFunctions = {"SHGetSpecialFolderPathW", "GetLongPathNameW"};
  {
    sys::SystemContext context(system);
    EXPECT_FALSE(context.specialFolderPath());
    EXPECT_FALSE(context.longPathName());
    // shell32.dll goes at once; KERNEL32.DLL is held to the end.
    EXPECT_EQ(system.freedLibraries, Libraries{u"shell32.dll"});
  }
  EXPECT_EQ(system.freedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));

  system.missingFunctions.clear();
  system.loadableLibraries = {u"KERNEL32.DLL"};
  sys::SystemContext context(system);
  EXPECT_FALSE(context.specialFolderPath());
  EXPECT_TRUE(context.longPathName());
}

TEST_F(SystemContextTest, ProcessWalkerOfEachFamily) {
  using Kind = sys::ProcessWalker::Kind;
  struct Case {
    const char* family;
    void (*setUp)(platform::fake::FakeSystem&);
    Kind kind;
  };
  const Case cases[] = {
      {"Windows 98: narrow Tool Help", platform::fake::SetUpWindows98, Kind::kNarrowToolHelp},
      {"Windows XP: wide Tool Help", platform::fake::SetUpWindowsXp, Kind::kWideToolHelp},
      {"unknown platform: as XP",
       [](platform::fake::FakeSystem& s) {
         platform::fake::SetUpWindowsXp(s);
         s.version->platformId = 3;
       },
       Kind::kWideToolHelp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    c.setUp(system);
    system.loadedLibraries.clear();
    sys::SystemContext context(system);
    ASSERT_NE(context.processWalker(), nullptr);
    EXPECT_EQ(context.processWalker()->kind(), c.kind);
    EXPECT_TRUE(context.psapiPath().empty());
    // GetLongPathNameW comes from the KERNEL32.DLL that Tool Help holds.
    EXPECT_EQ(system.loadedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));
  }
}

TEST_F(SystemContextTest, Nt4WritesItsOwnPsapiIntoANewFolderOnEveryStartAndLoadsIt) {
  qrt_test::SetUpNt4WithPsapi(system, kPsapiImage);
  // A PSAPI.DLL of the system, and an older file in the temporary folder,
  // which stays as it is.
  system.loadableLibraries.insert(u"PSAPI.DLL");
  system.fileSystem.AddFile(u"C:\\TEMP\\PSAPI.DLL", Bytes(18192, 0x11));
  for (int start = 0; start < 2; ++start) {
    system.loadedLibraries.clear();
    system.freedLibraries.clear();
    {
      sys::SystemContext context(system);
      ASSERT_NE(context.processWalker(), nullptr);
      EXPECT_EQ(context.processWalker()->kind(), sys::ProcessWalker::Kind::kProcessStatusHelper);
      EXPECT_EQ(context.psapiPath(), kNt4PsapiPath);
      EXPECT_EQ(system.fileSystem.Find(kNt4PsapiPath)->bytes, kPsapiImage);
      // Loaded by its full path, after shell32 and before KERNEL32.DLL (for
      // GetLongPathNameW, which NT 4 lacks).
      EXPECT_EQ(system.loadedLibraries,
                (Libraries{u"shell32.dll", kNt4PsapiPath, u"KERNEL32.DLL"}));
      EXPECT_FALSE(context.longPathName());
      EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
    }
    EXPECT_EQ(system.freedLibraries, (Libraries{u"shell32.dll", kNt4PsapiPath, u"KERNEL32.DLL"}));
    // The file and its folder go with the library.
    EXPECT_EQ(system.fileSystem.Find(kNt4PsapiPath), nullptr);
    EXPECT_FALSE(system.fileSystem.FolderExists(kFirstFolder));
    EXPECT_EQ(system.fileSystem.Find(u"C:\\TEMP\\PSAPI.DLL")->bytes, Bytes(18192, 0x11));
  }
}

TEST_F(SystemContextTest, Nt4PsapiNeverGoesIntoAFolderThatExists) {
  // Whoever made a folder could hold or plant a file in it: the names that
  // are taken, by a folder or a file, are skipped.
  qrt_test::SetUpNt4WithPsapi(system, kPsapiImage);
  const Bytes planted = {'M', 'Z', 'e', 'v', 'i', 'l'};
  system.fileSystem.AddFile(FolderNumber(0) + u"\\PSAPI.DLL", planted);
  system.fileSystem.AddFile(FolderNumber(1), planted);
  {
    sys::SystemContext context(system);
    EXPECT_NE(context.processWalker(), nullptr);
    EXPECT_EQ(context.psapiPath(), FolderNumber(2) + u"\\PSAPI.DLL");
  }
  EXPECT_EQ(system.fileSystem.Find(FolderNumber(0) + u"\\PSAPI.DLL")->bytes, planted);
  EXPECT_EQ(system.fileSystem.Find(FolderNumber(1))->bytes, planted);
  EXPECT_FALSE(system.fileSystem.FolderExists(FolderNumber(2)));

  // With every name taken nothing is loaded.
  for (int n = 2; n < sys::kPsapiFolderAttempts; ++n) {
    system.fileSystem.AddFolder(FolderNumber(n));
  }
  system.loadedLibraries.clear();
  sys::SystemContext context(system);
  EXPECT_EQ(context.processWalker(), nullptr);
  EXPECT_EQ(system.loadedLibraries.size(), 2u);  // shell32.dll and KERNEL32.DLL
}

TEST_F(SystemContextTest, Nt4PsapiIsHeldReadOnlyFromItsCheckUntilItIsLoaded) {
  qrt_test::SetUpNt4WithPsapi(system, kPsapiImage);
  bool checked = false;
  system.beforeLoadLibrary = [&](std::u16string_view path) {
    ASSERT_EQ(path, kNt4PsapiPath);
    checked = true;
    // One handle, the program's, reads the file: nobody can write, rename
    // or delete it, nor remove its folder.
    EXPECT_EQ(system.fileSystem.OpenHandleCount(), 1u);
    const auto writer =
        system.files().CreateFileWide(path, platform::kGenericWrite, platform::kFileShareRead,
                                      platform::kOpenExisting, platform::kFileAttributeNormal);
    EXPECT_EQ(writer.handle, 0u);
    EXPECT_EQ(writer.lastError, platform::kErrorSharingViolation);
    EXPECT_FALSE(system.files().DeleteFileWide(path));
    EXPECT_FALSE(system.files().MoveFileWide(path, u"C:\\TEMP\\other.dll").moved);
    EXPECT_FALSE(system.files().RemoveDirectoryWide(kFirstFolder));
    // A reader that shares as the loader does gets in.
    const auto reader = system.files().CreateFileWide(
        path, platform::kGenericRead, platform::kFileShareRead | platform::kFileShareDelete,
        platform::kOpenExisting, platform::kFileAttributeNormal);
    EXPECT_NE(reader.handle, 0u);
    system.runtime().CloseHandle(reader.handle);
  };
  sys::SystemContext context(system);
  EXPECT_TRUE(checked);
  EXPECT_NE(context.processWalker(), nullptr);
  EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
}

TEST_F(SystemContextTest, Nt4PsapiBindingFailures) {
  struct Case {
    const char* what;
    std::function<void(platform::fake::FakeSystem&)> spoil;
    bool loaded;  // the library was loaded (and must have been released)
  };
  // The steps of change: the folder, the new file, its bytes.
  std::vector<Case> cases = {
      {"no image", [](auto& s) { s.resourceData.clear(); }, false},
      {"no temporary folder", [](auto& s) { s.folderLayout.tempPath.reset(); }, false},
      // The path is kept in 260 characters with its terminating zero.
      {"path of 260 characters",
       [](auto& s) {
         s.folderLayout.tempPath = TempFolderFor(260);
         s.fileSystem.AddFolder(*s.folderLayout.tempPath);
       },
       false},
      {"temporary folder missing", [](auto& s) { s.folderLayout.tempPath = u"C:\\NOWHERE\\"; },
       false},
      {"folder refused", [](auto& s) { s.fileSystem.failingStep = 0; }, false},
      {"file refused", [](auto& s) { s.fileSystem.failingStep = 1; }, false},
      {"write fails", [](auto& s) { s.fileSystem.failingStep = 2; }, false},
      {"image that does not load",
       [](auto& s) {
         s.resourceData[{sys::kPsapiResourceType, sys::kPsapiResourceName}] = {'Z', 'M'};
       },
       false},
      // Another program swaps the file between its writing and its check.
      {"file swapped before the check",
       [](auto& s) {
         s.fileSystem.beforeOpen = [&s, done = false](std::u16string_view path,
                                                      std::uint32_t access) mutable {
           if (!done && access == platform::kGenericRead && path == kNt4PsapiPath) {
             done = true;
             s.fileSystem.Find(path)->bytes[4] ^= 0xFF;
           }
         };
       },
       false},
      {"file cut before the check",
       [](auto& s) {
         s.fileSystem.beforeOpen = [&s, done = false](std::u16string_view path,
                                                      std::uint32_t access) mutable {
           if (!done && access == platform::kGenericRead && path == kNt4PsapiPath) {
             done = true;
             s.fileSystem.Find(path)->bytes.pop_back();
           }
         };
       },
       false},
  };
  for (const char* function : {"EnumProcesses", "EnumProcessModules", "GetModuleBaseNameW",
                               "GetModuleFileNameExW", "GetModuleInformation"}) {
    cases.push_back({function, [function](auto& s) { s.missingFunctions.insert(function); }, true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::fake::FakeSystem nt4;
    qrt_test::SetUpNt4WithPsapi(nt4, kPsapiImage);
    c.spoil(nt4);
    sys::SystemContext context(nt4);
    EXPECT_EQ(context.processWalker(), nullptr);
    EXPECT_TRUE(context.psapiPath().empty());
    EXPECT_EQ(nt4.fileSystem.OpenHandleCount(), 0u);
    if (c.loaded) {
      EXPECT_EQ(nt4.freedLibraries, Libraries{kNt4PsapiPath});
    } else {
      EXPECT_EQ(nt4.loadedLibraries.size(), 2u);  // shell32.dll and KERNEL32.DLL
    }
    // Nothing is left behind.
    EXPECT_EQ(nt4.fileSystem.Find(kNt4PsapiPath), nullptr);
    EXPECT_FALSE(nt4.fileSystem.FolderExists(kFirstFolder));
    EXPECT_EQ(context.processWalker(), nullptr);
  }

  // A path of 259 characters fits.
  qrt_test::SetUpNt4WithPsapi(system, kPsapiImage);
  system.folderLayout.tempPath = TempFolderFor(259);
  system.fileSystem.AddFolder(*system.folderLayout.tempPath);
  sys::SystemContext context(system);
  EXPECT_NE(context.processWalker(), nullptr);
  EXPECT_EQ(context.psapiPath(), *system.folderLayout.tempPath + u"QRT003E8\\PSAPI.DLL");
  EXPECT_EQ(context.psapiPath().size(), 259u);
}

TEST_F(SystemContextTest, MissingToolHelpFunctionReleasesKernel32) {
  struct Case {
    void (*setUp)(platform::fake::FakeSystem&);
    const char* function;
  };
  const Case cases[] = {
      {platform::fake::SetUpWindowsXp, "CreateToolhelp32Snapshot"},
      {platform::fake::SetUpWindowsXp, "Process32FirstW"},
      {platform::fake::SetUpWindowsXp, "Process32NextW"},
      {platform::fake::SetUpWindowsXp, "Module32FirstW"},
      {platform::fake::SetUpWindowsXp, "Module32NextW"},
      {platform::fake::SetUpWindows98, "CreateToolhelp32Snapshot"},
      {platform::fake::SetUpWindows98, "Process32First"},
      {platform::fake::SetUpWindows98, "Process32Next"},
      {platform::fake::SetUpWindows98, "Module32First"},
      {platform::fake::SetUpWindows98, "Module32Next"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    c.setUp(system);
    system.missingFunctions.insert(c.function);
    system.loadedLibraries.clear();
    system.freedLibraries.clear();
    {
      sys::SystemContext context(system);
      EXPECT_EQ(context.processWalker(), nullptr);
      // Released at once, then loaded again for GetLongPathNameW.
      EXPECT_EQ(system.freedLibraries, Libraries{u"KERNEL32.DLL"});
      EXPECT_EQ(system.loadedLibraries,
                (Libraries{u"shell32.dll", u"KERNEL32.DLL", u"KERNEL32.DLL"}));
      EXPECT_TRUE(context.longPathName());
    }
    EXPECT_EQ(system.freedLibraries, (Libraries{u"KERNEL32.DLL", u"shell32.dll", u"KERNEL32.DLL"}));
  }
  // Without KERNEL32.DLL nothing of it is bound.
  system.loadableLibraries = {u"shell32.dll"};
  sys::SystemContext context(system);
  EXPECT_EQ(context.processWalker(), nullptr);
  EXPECT_FALSE(context.longPathName());
}

TEST_F(SystemContextTest, StreamReader) {
  {
    sys::SystemContext context(system);
    EXPECT_TRUE(context.streamReaderBound());
    EXPECT_TRUE(context.streamReader().backupRead());
    EXPECT_TRUE(context.streamReader().backupSeek());
    // Binding again is harmless; unbinding forgets the functions.
    EXPECT_TRUE(context.streamReader().Bind(system));
    context.streamReader().Unbind();
    EXPECT_FALSE(context.streamReaderBound());
    EXPECT_FALSE(context.streamReader().backupRead());
  }
  for (const char* function : {"BackupRead", "BackupSeek"}) {
    SCOPED_TRACE(function);
    system.missingFunctions = {function};
    sys::SystemContext context(system);
    EXPECT_FALSE(context.streamReaderBound());
    EXPECT_FALSE(context.streamReader().backupRead());
    EXPECT_FALSE(context.streamReader().backupSeek());
  }
  system.missingFunctions.clear();
  system.residentModules.clear();
  sys::SystemContext context(system);
  EXPECT_FALSE(context.streamReaderBound());
  // A failed version query binds nothing.
  system.version.reset();
  sys::SystemContext failed(system);
  EXPECT_EQ(failed.processWalker(), nullptr);
  EXPECT_FALSE(failed.streamReaderBound());
}

}  // namespace
