// CleanIniFile, RestoreHosts and RemoveFromHosts over the fake Windows: where
// the files are, what they read afterwards byte for byte, the result codes
// and flags, and that a failure at any step of a rewrite leaves the old file
// whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/unit/removal_run.h"

namespace {

using namespace std::string_literals;
using platform::fake::FakeFile;
using qrt_test::Bytes;
using qrt_test::RemovalRun;
using qrt_test::Windows;

constexpr char16_t kXpHosts[] = u"C:\\WINDOWS\\system32\\drivers\\etc\\hosts";
constexpr char16_t kXpBackup[] = u"C:\\WINDOWS\\system32\\drivers\\etc\\hosts.bak";
constexpr char16_t k98Hosts[] = u"C:\\WINDOWS\\hosts";
constexpr char16_t k98Backup[] = u"C:\\WINDOWS\\hosts.bak";
constexpr char16_t kSystemIni[] = u"C:\\WINDOWS\\system.ini";
constexpr char16_t kWinIni[] = u"C:\\WINDOWS\\win.ini";

const std::string kTwoEntries = "127.0.0.1       localhost\r\n10.0.0.1 bank.example\r\n";
const std::string kTwoEntriesRestored =
    "# 127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n\r\n127.0.0.1\t\tlocalhost\r\n";

// --- win.ini and system.ini ---

TEST(CleanIniFile, ResetsTheShellAndEmptiesOtherLinesThatNameTheFile) {
  RemovalRun run;
  run.files().AddFile(kSystemIni, Bytes("[boot]\r\n"
                                        "shell=Explorer.exe C:\\WINDOWS\\EVIL.exe\r\n"
                                        "drivers=mmsystem.dll\r\n"));
  run.files().AddFile(kWinIni, Bytes("[windows]\r\n"
                                     "load=c:\\windows\\evil.exe\r\n"
                                     "run=\r\n"
                                     "[Other]\r\n"
                                     "x=evil.exe.bak\r\n"
                                     "evil.exe=kept\r\n"
                                     "no line\r\n"));
  EXPECT_EQ(run.CleanIniFile(u"Evil.EXE", 1), 1);
  EXPECT_EQ(run.files().Text(kSystemIni),
            "[boot]\r\nshell=explorer.exe\r\ndrivers=mmsystem.dll\r\n");
  EXPECT_EQ(run.stats().iniChanged, 1u);
  EXPECT_EQ(run.CleanIniFile(u"evil.exe", 2), 1);
  EXPECT_EQ(run.files().Text(kWinIni),
            "[windows]\r\nload=\r\nrun=\r\n[Other]\r\nx=\r\nevil.exe=kept\r\nno line\r\n");
  // Nothing left to change.
  EXPECT_EQ(run.CleanIniFile(u"evil.exe", 2), 2);

  // A full path only matches lines that hold it.
  run.files().AddFile(kWinIni,
                      Bytes("[windows]\r\nload=C:\\A\\evil.exe\r\nrun=C:\\B\\evil.exe\r\n"));
  EXPECT_EQ(run.CleanIniFile(u"c:\\b\\EVIL.EXE", 2), 1);
  EXPECT_EQ(run.files().Text(kWinIni), "[windows]\r\nload=C:\\A\\evil.exe\r\nrun=\r\n");
}

TEST(CleanIniFile, NothingToDoOrAFailedWrite) {
  const std::string ini = "[boot]\r\nshell=evil.exe\r\n";
  const struct {
    const char* label;
    std::u16string fileName;
    int which;
    std::function<void(RemovalRun&)> setUp;
    int result;
    std::string after;
  } cases[] = {
      {"missing file", u"evil.exe", 1, [](RemovalRun&) {}, 2, ""},
      {"other which", u"evil.exe", 3,
       [&](RemovalRun& r) { r.files().AddFile(kSystemIni, Bytes(ini)); }, 2, ini},
      {"no line names it", u"good.exe", 1,
       [&](RemovalRun& r) { r.files().AddFile(kSystemIni, Bytes(ini)); }, 2, ini},
      {"empty name would match every line", u"", 1,
       [&](RemovalRun& r) { r.files().AddFile(kSystemIni, Bytes(ini)); }, 2, ini},
      {"no sections", u"evil.exe", 1,
       [&](RemovalRun& r) { r.files().AddFile(kSystemIni, Bytes("shell=evil.exe\r\n")); }, 2,
       "shell=evil.exe\r\n"},
      {"read-only file", u"evil.exe", 1,
       [&](RemovalRun& r) {
         r.files().AddFile(kSystemIni, Bytes(ini)).attributes = platform::kFileAttributeReadOnly;
       },
       2, ini},
  };
  for (const auto& c : cases) {
    RemovalRun run;
    c.setUp(run);
    EXPECT_EQ(run.CleanIniFile(c.fileName, c.which), c.result) << c.label;
    EXPECT_EQ(run.files().Text(kSystemIni), c.after) << c.label;
    EXPECT_EQ(run.stats().iniChanged, 0u) << c.label;
  }
}

TEST(CleanIniFile, TheStartSectionIsReadAlsoWhenTheListOfNamesLeavesItOut) {
  // 2000 sections of 20 characters fill more than the 32768 characters of
  // the list of names, which then ends before [windows].
  std::string ini;
  for (int i = 0; i < 2000; ++i) ini += "[section-number-" + std::to_string(10000 + i) + "]\r\n";
  ini += "[windows]\r\nload=evil.exe\r\n";
  RemovalRun run;
  run.files().AddFile(kWinIni, Bytes(ini));
  ASSERT_LT(run.system.profileFiles().GetPrivateProfileSectionNamesWide(32768, kWinIni).size(),
            2000u);
  EXPECT_EQ(run.CleanIniFile(u"evil.exe", 2), 1);
  EXPECT_TRUE(run.files().Text(kWinIni).ends_with("[windows]\r\nload=\r\n"));
}

// Windows 98's system.ini loads drivers from device= lines of [386Enh]; the
// profile functions would change the first of them only. Only the lines that
// name the file change, every other byte stays.
TEST(CleanIniFile, ARepeatedKeyChangesOnlyTheLinesThatNameTheFile) {
  const struct {
    const char* label;
    Windows windows;
    std::string before;
    bool readOnly;
    int result;
    std::string after;
    bool flushed;  // changed in the file itself
  } cases[] = {
      {"the second of three", Windows::k98,
       "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vmm32\r\n"
       "device=C:\\WINDOWS\\evil.vxd\r\ndevice=vnetsup.vxd\r\n",
       false, 1,
       "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vmm32\r\ndevice=\r\n"
       "device=vnetsup.vxd\r\n",
       true},
      {"the first and the last, blanks, comment and another section kept", Windows::k98,
       "[386Enh]\r\n  Device = evil.vxd  \r\n; device=evil.vxd\r\ndevice=*vmm32\r\n\r\n"
       "DEVICE=C:\\evil.vxd\n[boot]\r\nshell=evil.exe\r\ndevice=evil.vxd",
       false, 1,
       "[386Enh]\r\n  Device=  \r\n; device=evil.vxd\r\ndevice=*vmm32\r\n\r\nDEVICE=\n"
       "[boot]\r\nshell=explorer.exe\r\ndevice=",
       true},
      {"on XP too", Windows::kXp, "[386Enh]\r\ndevice=a.386\r\ndevice=evil.vxd\r\n", false, 1,
       "[386Enh]\r\ndevice=a.386\r\ndevice=\r\n", true},
      {"a key that repeats without naming the file is no matter", Windows::k98,
       "[386Enh]\r\ndevice=a.386\r\ndevice=b.386\r\nnetwork=evil.vxd\r\n", false, 1,
       "[386Enh]\r\ndevice=a.386\r\ndevice=b.386\r\nnetwork=\r\n", false},
      {"read-only file", Windows::k98, "[386Enh]\r\ndevice=a.386\r\ndevice=evil.vxd\r\n", true, 2,
       "[386Enh]\r\ndevice=a.386\r\ndevice=evil.vxd\r\n", true},
  };
  for (const auto& c : cases) {
    RemovalRun run(c.windows);
    FakeFile& ini = run.files().AddFile(kSystemIni, Bytes(c.before));
    if (c.readOnly) ini.attributes = platform::kFileAttributeReadOnly;
    EXPECT_EQ(run.CleanIniFile(u"EVIL", 1), c.result) << c.label;
    EXPECT_EQ(run.files().Text(kSystemIni), c.after) << c.label;
    EXPECT_EQ(run.stats().iniChanged, c.result == 1 ? 1u : 0u) << c.label;
    EXPECT_EQ(!run.system.profileCacheFlushes.empty(), c.flushed) << c.label;
  }
}

// --- hosts ---

TEST(RestoreHosts, DisablesEveryEntryAfterWritingTheBackup) {
  for (const Windows windows : {Windows::kXp, Windows::k98}) {
    const char16_t* hosts = windows == Windows::kXp ? kXpHosts : k98Hosts;
    const char16_t* backup = windows == Windows::kXp ? kXpBackup : k98Backup;
    RemovalRun run(windows);
    run.files().AddFile(hosts, Bytes(kTwoEntries));
    run.files().AddFile(backup, Bytes("an older backup"));
    EXPECT_EQ(run.RestoreHosts(), 1);
    EXPECT_EQ(run.files().Text(hosts), kTwoEntriesRestored);
    EXPECT_EQ(run.files().Text(backup), kTwoEntries);
    EXPECT_EQ(run.stats().hostsChanged, 1u);

    // Again: the appended localhost line is disabled too, and the backup is
    // the once-rewritten file.
    EXPECT_EQ(run.RestoreHosts(), 1);
    EXPECT_EQ(run.files().Text(hosts),
              "# 127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n\r\n"
              "# 127.0.0.1\t\tlocalhost\r\n\r\n127.0.0.1\t\tlocalhost\r\n");
    EXPECT_EQ(run.files().Text(backup), kTwoEntriesRestored);
    // Only the two files are left in the folder.
    EXPECT_FALSE(run.system.files().FindFirstFileWide(
        std::u16string(hosts).substr(0, std::u16string(hosts).rfind(u'\\')) + u"\\~qrt*"));
  }
}

TEST(RestoreHosts, BackupKeepsZeroBytesAndAttributesAreKept) {
  RemovalRun run;
  const std::string old = "1.2.3.4 a\0b\r\n"s;
  run.files().AddFile(kXpHosts, Bytes(old)).attributes =
      platform::kFileAttributeHidden | platform::kFileAttributeSystem;
  EXPECT_EQ(run.RestoreHosts(), 1);
  EXPECT_EQ(run.files().Text(kXpBackup), old);
  EXPECT_EQ(run.files().Text(kXpHosts), "# 1.2.3.4 a\0b\r\n\r\n127.0.0.1\t\tlocalhost\r\n"s);
  EXPECT_EQ(run.files().Find(kXpHosts)->attributes,
            platform::kFileAttributeHidden | platform::kFileAttributeSystem);
}

TEST(HostsOperations, NothingDoneLeavesTheFilesAsTheyWere) {
  const struct {
    const char* label;
    std::function<void(RemovalRun&)> setUp;
    int restore;
    int remove;  // RemoveFromHosts("bank.example")
  } cases[] = {
      {"missing", [](RemovalRun&) {}, 2, 2},
      {"empty", [](RemovalRun& r) { r.files().AddFile(kXpHosts); }, 2, 2},
      {"unreadable",
       [](RemovalRun& r) { r.files().AddFile(kXpHosts, Bytes(kTwoEntries)).refusesOpening = true; },
       2, 2},
      {"read-only",
       [](RemovalRun& r) {
         r.files().AddFile(kXpHosts, Bytes(kTwoEntries)).attributes =
             platform::kFileAttributeReadOnly;
       },
       2, 2},
      {"backup read-only",
       [](RemovalRun& r) {
         r.files().AddFile(kXpHosts, Bytes(kTwoEntries));
         r.files().AddFile(kXpBackup, Bytes("old")).attributes = platform::kFileAttributeReadOnly;
       },
       2, 1},
      // UTF-16 text would be broken by an 8-bit rewrite: left as it is, and
      // the driver reports the failure.
      {"UTF-16 text, little-endian",
       [](RemovalRun& r) {
         r.files().AddFile(kXpHosts, Bytes("\xFF\xFE"
                                           "1\0.\0"
                                           "2\0\r\0\n\0"s));
       },
       3, 3},
      {"UTF-16 text, big-endian",
       [](RemovalRun& r) {
         r.files().AddFile(kXpHosts, Bytes("\xFE\xFF\0"
                                           "1\0.\0"
                                           "2\0\r\0\n"s));
       },
       3, 3},
      {"no system directory",
       [](RemovalRun& r) {
         r.files().AddFile(kXpHosts, Bytes(kTwoEntries));
         r.system.folderLayout.systemDirectory.reset();
       },
       2, 2},
  };
  for (const auto& c : cases) {
    for (const bool restore : {true, false}) {
      RemovalRun run;
      c.setUp(run);
      const std::string hostsBefore = run.files().Text(kXpHosts);
      const std::string backupBefore = run.files().Text(kXpBackup);
      const int result = restore ? run.RestoreHosts() : run.RemoveFromHosts(u"bank.example");
      EXPECT_EQ(result, restore ? c.restore : c.remove) << c.label;
      if (result != 1) {
        EXPECT_EQ(run.files().Text(kXpHosts), hostsBefore) << c.label;
        EXPECT_EQ(run.stats().hostsChanged, 0u) << c.label;
      }
      // A backup made before the hosts file failed is a whole copy of it.
      const std::string backup = run.files().Text(kXpBackup);
      EXPECT_TRUE(backup == backupBefore || (restore && backup == hostsBefore)) << c.label;
    }
  }
}

// A UTF-8 byte order mark stays where it is, before the first line, which
// is still found and disabled.
TEST(HostsOperations, AUtf8ByteOrderMarkStaysFirst) {
  const std::string mark = "\xEF\xBB\xBF";
  RemovalRun run;
  run.files().AddFile(kXpHosts, Bytes(mark + kTwoEntries));
  EXPECT_EQ(run.RemoveFromHosts(u"127.0.0.1"), 1);
  EXPECT_EQ(run.files().Text(kXpHosts),
            mark + "# 127.0.0.1       localhost\r\n10.0.0.1 bank.example\r\n");
  EXPECT_EQ(run.RestoreHosts(), 1);
  EXPECT_EQ(run.files().Text(kXpHosts), mark + kTwoEntriesRestored);
}

TEST(RemoveFromHosts, DisablesMatchingEntriesOrAnswersNoMatch) {
  RemovalRun run(Windows::k98);
  run.files().AddFile(k98Hosts, Bytes(kTwoEntries));
  EXPECT_EQ(run.RemoveFromHosts(u"evil.example"), 7);
  EXPECT_EQ(run.files().Text(k98Hosts), kTwoEntries);
  EXPECT_EQ(run.stats().hostsChanged, 0u);
  EXPECT_EQ(run.RemoveFromHosts(u"\u4E2D.example"), 2);  // no exact ANSI form

  EXPECT_EQ(run.RemoveFromHosts(u"Bank.Example"), 1);
  EXPECT_EQ(run.files().Text(k98Hosts), "127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n");
  EXPECT_EQ(run.stats().hostsChanged, 1u);
  EXPECT_EQ(run.files().Find(k98Backup), nullptr);
}

// --- A failure at each step of a rewrite ---

// Runs `operation` over a fresh fake with each change step failing in turn,
// until the operation no longer reaches the failing step. After every run
// each file holds exactly its old or its new bytes, the new ones only after
// success (a backup may be complete before the main file fails).
struct Rewritten {
  std::u16string path;
  std::string before;
  std::string after;
  bool mayChangeOnFailure = false;
};

void FailEachStep(Windows windows, const std::function<void(RemovalRun&)>& setUp,
                  const std::function<int(RemovalRun&)>& operation,
                  const std::vector<Rewritten>& files) {
  for (std::size_t step = 0;; ++step) {
    SCOPED_TRACE("failing step " + std::to_string(step));
    RemovalRun run(windows);
    setUp(run);
    run.files().changeSteps = 0;
    run.files().failingStep = step;
    const int result = operation(run);
    for (const Rewritten& file : files) {
      const std::string now = run.files().Text(file.path);
      if (result == 1) {
        EXPECT_EQ(now, file.after);
      } else if (file.mayChangeOnFailure && now == file.after) {
        continue;
      } else {
        EXPECT_EQ(now, file.before);
      }
    }
    if (run.files().changeSteps <= step) {
      EXPECT_EQ(result, 1) << "without a failure";
      EXPECT_GT(step, 2u);
      return;
    }
  }
}

TEST(SystemFileRewrites, AFailureAtAnyStepLeavesTheOldFileWhole) {
  for (const Windows windows : {Windows::kXp, Windows::k98}) {
    SCOPED_TRACE(windows == Windows::kXp ? "Windows XP" : "Windows 98");
    const char16_t* hosts = windows == Windows::kXp ? kXpHosts : k98Hosts;
    const char16_t* backup = windows == Windows::kXp ? kXpBackup : k98Backup;
    const auto setUpHosts = [&](RemovalRun& run) {
      run.files().AddFile(hosts, Bytes(kTwoEntries));
      run.files().AddFile(backup, Bytes("older backup"));
    };
    FailEachStep(
        windows, setUpHosts, [](RemovalRun& run) { return run.RestoreHosts(); },
        {{hosts, kTwoEntries, kTwoEntriesRestored}, {backup, "older backup", kTwoEntries, true}});
    FailEachStep(windows, setUpHosts,
                 [](RemovalRun& run) { return run.RemoveFromHosts(u"10.0.0.1"); },
                 {{hosts, kTwoEntries, "127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n"},
                  {backup, "older backup", "older backup"}});
  }

  // A section changed in the file itself.
  const std::string devices = "[386Enh]\r\ndevice=a.386\r\ndevice=evil.vxd\r\n";
  FailEachStep(
      Windows::k98, [&](RemovalRun& run) { run.files().AddFile(kSystemIni, Bytes(devices)); },
      [](RemovalRun& run) { return run.CleanIniFile(u"evil.vxd", 1); },
      {{kSystemIni, devices, "[386Enh]\r\ndevice=a.386\r\ndevice=\r\n"}});

  constexpr char16_t kWininit[] = u"C:\\WINDOWS\\WININIT.INI";
  const std::string wininit = "[Rename]\r\nNUL=C:\\OLD.EXE\r\n";
  FailEachStep(
      Windows::k98,
      [&](RemovalRun& run) {
        run.files().AddFile(u"C:\\WINDOWS\\virus.exe").refusesOpening = true;
        run.files().AddFile(kWininit, Bytes(wininit));
      },
      [](RemovalRun& run) { return run.RemoveFile(u"C:\\WINDOWS\\virus.exe"); },
      {{kWininit, wininit, "[rename]\r\nNUL=C:\\WINDOWS\\VIRUS.EXE\r\nNUL=C:\\OLD.EXE\r\n"}});
  FailEachStep(
      Windows::k98,
      [&](RemovalRun& run) {
        run.files().AddFile(u"C:\\WINDOWS\\virus.exe").refusesOpening = true;
      },
      [](RemovalRun& run) { return run.RenameFile(u"C:\\WINDOWS\\virus.exe", u"C:\\v.vir"); },
      {{kWininit, "", "[rename]\r\nC:\\v.vir=C:\\WINDOWS\\VIRUS.EXE\r\n"}});
}

}  // namespace
