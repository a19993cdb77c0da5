// RemoveFile and RenameFile over the fake Windows: at once, scheduled for the
// next start (delayed moves on the NT family, WININIT.INI on Windows 98),
// handed to the shell, or refused; what they count and when they ask for a
// reboot.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "common/text.h"
#include "tests/unit/removal_run.h"

namespace {

using platform::fake::FakeDelayedMove;
using platform::fake::FakeFile;
using qrt_test::Bytes;
using qrt_test::RemovalRun;
using qrt_test::Windows;

constexpr char16_t kWininit[] = u"C:\\WINDOWS\\WININIT.INI";
constexpr char16_t kVirus[] = u"C:\\WINDOWS\\virus.exe";

void InUse(FakeFile& file) { file.refusesOpening = true; }

struct FileCase {
  const char* label;
  Windows windows;
  std::function<void(RemovalRun&)> setUp;
  std::u16string path;
  int result;
  int counted;  // removedFiles or renamedFiles
  bool reboot;
  std::vector<FakeDelayedMove> delayedMoves;
  std::optional<std::string> wininit;  // WININIT.INI afterwards, when it exists
};

void ExpectOutcome(const FileCase& c, RemovalRun& run, int result, int counted) {
  EXPECT_EQ(result, c.result) << c.label;
  EXPECT_EQ(counted, c.counted) << c.label;
  EXPECT_EQ(run.rebootRequired(), c.reboot) << c.label;
  EXPECT_EQ(run.files().delayedMoves, c.delayedMoves) << c.label;
  const FakeFile* wininit = run.files().Find(kWininit);
  EXPECT_EQ(wininit ? std::optional(run.files().Text(kWininit)) : std::nullopt, c.wininit)
      << c.label;
  EXPECT_EQ(run.files().OpenHandleCount(), 0u) << c.label;
  EXPECT_EQ(run.files().OpenSearchCount(), 0u) << c.label;
}

TEST(RemoveFile, DeletesNowSchedulesOrRefuses) {
  const FileCase cases[] = {
      {"plain file",
       Windows::kXp,
       [](RemovalRun& r) { r.files().AddFile(kVirus); },
       kVirus,
       1,
       1,
       false,
       {},
       std::nullopt},
      {"read-only hidden system file",
       Windows::kXp,
       [](RemovalRun& r) {
         r.files().AddFile(kVirus).attributes = platform::kFileAttributeReadOnly |
                                                platform::kFileAttributeHidden |
                                                platform::kFileAttributeSystem;
       },
       kVirus,
       1,
       1,
       false,
       {},
       std::nullopt},
      {"missing", Windows::kXp, nullptr, kVirus, 2, 0, false, {}, std::nullopt},
      {"folder", Windows::kXp, nullptr, u"C:\\WINDOWS", 2, 0, false, {}, std::nullopt},
      {"wildcard",
       Windows::kXp,
       [](RemovalRun& r) { r.files().AddFile(kVirus); },
       u"C:\\WINDOWS\\*.exe",
       2,
       0,
       false,
       {},
       std::nullopt},
      {"zero character",
       Windows::kXp,
       [](RemovalRun& r) { r.files().AddFile(kVirus); },
       std::u16string(kVirus) + u'\0' + u"x",
       2,
       0,
       false,
       {},
       std::nullopt},
      {"in use, NT",
       Windows::kXp,
       [](RemovalRun& r) { InUse(r.files().AddFile(kVirus)); },
       kVirus,
       1,
       1,
       true,
       {{kVirus, u""}},
       std::nullopt},
      {"in use, NT refuses the delayed move",
       Windows::kXp,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().delayedMovesRefused = true;
       },
       kVirus,
       0,
       0,
       false,
       {},
       std::nullopt},
      {"in use, 98, no WININIT.INI",
       Windows::k98,
       [](RemovalRun& r) { InUse(r.files().AddFile(kVirus)); },
       kVirus,
       1,
       1,
       true,
       {},
       "[rename]\r\nNUL=C:\\WINDOWS\\virus.exe\r\n"},
      {"in use, 98, empty WININIT.INI",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().AddFile(kWininit);
       },
       kVirus,
       1,
       1,
       true,
       {},
       "[rename]\r\nNUL=C:\\WINDOWS\\virus.exe\r\n"},
      {"in use, 98, [Rename] with one entry",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().AddFile(kWininit, Bytes("[Rename]\r\nNUL=C:\\OLD.EXE\r\n"));
       },
       kVirus,
       1,
       1,
       true,
       {},
       "[rename]\r\nNUL=C:\\WINDOWS\\virus.exe\r\nNUL=C:\\OLD.EXE\r\n"},
      {"in use, 98, WININIT.INI unreadable",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         InUse(r.files().AddFile(kWininit, Bytes("[rename]\r\n")));
       },
       kVirus,
       0,
       0,
       false,
       {},
       "[rename]\r\n"},
      {"in use, 98, WININIT.INI read-only",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().AddFile(kWininit, Bytes("[rename]\r\n")).attributes =
             platform::kFileAttributeReadOnly;
       },
       kVirus,
       0,
       0,
       false,
       {},
       "[rename]\r\n"},
      {"in use, 98, no exact ANSI form",
       Windows::k98,
       [](RemovalRun& r) { InUse(r.files().AddFile(u"C:\\WINDOWS\\\u4E2D.exe")); },
       u"C:\\WINDOWS\\\u4E2D.exe",
       2,
       0,
       false,
       {},
       std::nullopt},
  };
  for (const FileCase& c : cases) {
    RemovalRun run(c.windows);
    if (c.setUp) c.setUp(run);
    const int result = run.RemoveFile(c.path);
    ExpectOutcome(c, run, result, run.stats().removedFiles);
    const bool deletedNow = c.result == 1 && c.delayedMoves.empty() && !c.wininit;
    if (deletedNow) {
      EXPECT_EQ(run.files().Find(c.path), nullptr) << c.label;
    }
  }
}

TEST(RemoveFile, APathIsDeletedOrScheduledOnceAlsoWhenTheScheduleFailed) {
  RemovalRun run;
  InUse(run.files().AddFile(kVirus));
  EXPECT_EQ(run.RemoveFile(kVirus), 1);
  EXPECT_EQ(run.RemoveFile(u"c:\\windows\\VIRUS.EXE"), 2);
  EXPECT_EQ(run.stats().removedFiles, 1);
  EXPECT_EQ(run.files().delayedMoves.size(), 1u);

  run.files().AddFile(u"C:\\other.exe").refusesOpening = true;
  run.files().delayedMovesRefused = true;
  EXPECT_EQ(run.RemoveFile(u"C:\\other.exe"), 0);
  run.files().delayedMovesRefused = false;
  EXPECT_EQ(run.RemoveFile(u"C:\\other.exe"), 2);
  EXPECT_EQ(run.files().delayedMoves.size(), 1u);
}

TEST(RemoveFile, ANameOnlyTheFindFunctionsReachGoesToTheShell) {
  RemovalRun run;
  run.files().AddFile(u"C:\\evil.").attributesFail = true;
  EXPECT_EQ(run.RemoveFile(u"C:\\evil."), 2);
  ASSERT_EQ(run.files().shellOperations.size(), 1u);
  const platform::ShellFileOperation& shell = run.files().shellOperations[0];
  EXPECT_EQ(shell.function, platform::kFoDelete);
  EXPECT_EQ(shell.from, std::u16string(u"\\\\?\\C:\\evil.\0\0", 14));
  EXPECT_TRUE(shell.to.empty());
  EXPECT_EQ(shell.flags, 0x0410);
  EXPECT_EQ(run.stats().removedFiles, 0);
  // Not remembered as handled: the shell is asked again.
  EXPECT_EQ(run.RemoveFile(u"C:\\evil."), 2);
  EXPECT_EQ(run.files().shellOperations.size(), 2u);
  EXPECT_TRUE(run.system.freedLibraries.back() == u"shell32.dll");

  // "\\?\", the path and two zeros must fit 260 characters.
  const std::u16string folder = u"C:\\" + std::u16string(240, u'd');
  for (const std::size_t length : {254u - folder.size(), 255u - folder.size()}) {
    const std::u16string path = folder + u"\\" + std::u16string(length - 1, u'n');
    run.files().AddFile(path).attributesFail = true;
    run.files().shellOperations.clear();
    EXPECT_EQ(run.RemoveFile(path), 2);
    EXPECT_EQ(run.files().shellOperations.size(), path.size() + 6 <= 260 ? 1u : 0u) << path.size();
  }
}

TEST(HandledFiles, WhenAllEntriesAreUsedEachFurtherPathTakesEntryZero) {
  removal::HandledFiles handled;
  const auto name = [](int i) { return u"C:\\f" + text::FromAscii(std::to_string(i)); };
  for (int i = 0; i < 1024; ++i) handled.Add(name(i));
  EXPECT_TRUE(handled.Contains(u"c:\\F0"));
  EXPECT_TRUE(handled.Contains(name(1023)));
  handled.Add(name(1024));
  EXPECT_FALSE(handled.Contains(name(0)));
  EXPECT_TRUE(handled.Contains(name(1024)));
  handled.Add(name(1025));
  EXPECT_FALSE(handled.Contains(name(1024)));
  EXPECT_TRUE(handled.Contains(name(1)));
  EXPECT_TRUE(handled.Contains(name(1025)));
}

TEST(RenameFile, RenamesNowSchedulesHandsToTheShellOrRefuses) {
  constexpr char16_t kNew[] = u"C:\\WINDOWS\\virus.vir";
  const FileCase cases[] = {
      {"plain file",
       Windows::kXp,
       [](RemovalRun& r) { r.files().AddFile(kVirus); },
       kVirus,
       1,
       1,
       false,
       {},
       std::nullopt},
      {"missing", Windows::kXp, nullptr, kVirus, 2, 0, false, {}, std::nullopt},
      {"folder", Windows::kXp, nullptr, u"C:\\WINDOWS", 2, 0, false, {}, std::nullopt},
      {"in use, NT",
       Windows::kXp,
       [](RemovalRun& r) { InUse(r.files().AddFile(kVirus)); },
       kVirus,
       1,
       1,
       true,
       {{kVirus, kNew}},
       std::nullopt},
      {"in use, NT refuses the delayed move",
       Windows::kXp,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().delayedMovesRefused = true;
       },
       kVirus,
       2,
       0,
       false,
       {},
       std::nullopt},
      {"in use, 98, WININIT.INI with another section",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         r.files().AddFile(kWininit, Bytes("[Other]\r\na=1"));
       },
       kVirus,
       1,
       1,
       true,
       {},
       "[Other]\r\na=1\r\n[rename]\r\nC:\\WINDOWS\\virus.vir=C:\\WINDOWS\\virus.exe\r\n"},
      {"in use, 98, WININIT.INI unreadable",
       Windows::k98,
       [](RemovalRun& r) {
         InUse(r.files().AddFile(kVirus));
         InUse(r.files().AddFile(kWininit));
       },
       kVirus,
       2,
       0,
       false,
       {},
       ""},
      {"name for the shell",
       Windows::kXp,
       [](RemovalRun& r) { r.files().AddFile(kVirus).attributesFail = true; },
       kVirus,
       3,
       0,
       false,
       {},
       std::nullopt},
      {"name for the shell, shell without the function",
       Windows::kXp,
       [](RemovalRun& r) {
         r.files().AddFile(kVirus).attributesFail = true;
         r.system.missingFunctions.insert("SHFileOperationW");
       },
       kVirus,
       2,
       0,
       false,
       {},
       std::nullopt},
  };
  for (const FileCase& c : cases) {
    RemovalRun run(c.windows);
    if (c.setUp) c.setUp(run);
    const int result = run.RenameFile(c.path, kNew);
    ExpectOutcome(c, run, result, run.stats().renamedFiles);
    const bool renamedNow = c.result == 1 && c.delayedMoves.empty() && !c.wininit;
    if (renamedNow) {
      EXPECT_EQ(run.files().Find(c.path), nullptr) << c.label;
      EXPECT_NE(run.files().Find(kNew), nullptr) << c.label;
    }
    if (c.result == 3) {
      ASSERT_EQ(run.files().shellOperations.size(), 1u);
      const platform::ShellFileOperation& shell = run.files().shellOperations[0];
      EXPECT_EQ(shell.function, platform::kFoRename);
      EXPECT_EQ(shell.from, u"\\\\?\\" + std::u16string(kVirus) + std::u16string(2, u'\0'));
      EXPECT_EQ(shell.to, u"\\\\?\\" + std::u16string(kNew) + std::u16string(2, u'\0'));
      EXPECT_EQ(shell.flags, 0x0400);
    }
  }
}

}  // namespace
