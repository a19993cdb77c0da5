// RemoveFile and RenameFile over the fake Windows: at once, scheduled for the
// next start (delayed moves on the NT family, WININIT.INI on Windows 98),
// handed to the shell, or refused; what they count and when they ask for a
// reboot.
#include <gtest/gtest.h>

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
constexpr char16_t kNewName[] = u"C:\\WINDOWS\\virus.vir";
// A file whose path is longer than the 259 characters that the system takes
// as they are, and its long form, as the file scanner hands it on (NT
// family); the long form of a short path.
const std::u16string kDeep =
    u"C:\\" + std::u16string(150, u'd') + u"\\" + std::u16string(150, u'e') + u".exe";
const std::u16string kDeepLongForm = u"\\\\?\\" + kDeep;
constexpr char16_t kVirusLongForm[] = u"\\\\?\\C:\\WINDOWS\\virus.exe";
constexpr std::uint32_t kHiddenReadOnlySystem = platform::kFileAttributeReadOnly |
                                                platform::kFileAttributeHidden |
                                                platform::kFileAttributeSystem;

void InUse(FakeFile& file) { file.refusesOpening = true; }

// One case: the system and its files before, the path given, and what must
// come of it.
struct FileCase {
  const char* label;
  Windows windows = Windows::kXp;
  // The file made before the call (none when empty), and the path given.
  std::u16string file = kVirus;
  std::u16string path = kVirus;
  std::uint32_t attributes = platform::kFileAttributeArchive;
  bool inUse = false;
  bool attributesFail = false;  // only the find functions reach its name
  bool delayedMovesRefused = false;
  bool shellMissing = false;
  std::optional<std::string> wininitBefore = std::nullopt;
  bool wininitInUse = false;
  bool wininitReadOnly = false;
  bool newNameTaken = false;  // RenameFile: a file holds kNewName

  int result = 1;
  int counted = 0;  // removedFiles or renamedFiles
  bool reboot = false;
  std::vector<FakeDelayedMove> delayedMoves = {};
  std::optional<std::string> wininit = std::nullopt;  // WININIT.INI afterwards
};

void Prepare(RemovalRun& run, const FileCase& c) {
  if (!c.file.empty()) {
    FakeFile& file = run.files().AddFile(c.file);
    file.attributes = c.attributes;
    file.refusesOpening = c.inUse;
    file.attributesFail = c.attributesFail;
  }
  if (c.newNameTaken) run.files().AddFile(kNewName, Bytes("kept"));
  run.files().delayedMovesRefused = c.delayedMovesRefused;
  if (c.shellMissing) run.system.missingFunctions.insert("SHFileOperationW");
  if (c.wininitBefore) {
    FakeFile& wininit = run.files().AddFile(kWininit, Bytes(*c.wininitBefore));
    wininit.refusesOpening = c.wininitInUse;
    if (c.wininitReadOnly) wininit.attributes = platform::kFileAttributeReadOnly;
  }
}

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
      {.label = "plain file", .counted = 1},
      {.label = "read-only hidden system file", .attributes = kHiddenReadOnlySystem, .counted = 1},
      {.label = "missing", .file = u"", .result = 2},
      {.label = "folder", .path = u"C:\\WINDOWS", .result = 2},
      {.label = "wildcard", .path = u"C:\\WINDOWS\\*.exe", .result = 2},
      {.label = "zero character", .path = std::u16string(kVirus) + u'\0' + u"x", .result = 2},
      {.label = "question mark", .path = u"C:\\WINDOWS\\vir?s.exe", .result = 2},
      {.label = "deep path, long form", .file = kDeep, .path = kDeepLongForm, .counted = 1},
      {.label = "short path, long form", .path = kVirusLongForm, .counted = 1},
      {.label = "deep path as it is", .file = kDeep, .path = kDeep, .result = 2},
      {.label = "wildcard in the long form", .path = u"\\\\?\\C:\\WINDOWS\\*.exe", .result = 2},
      {.label = "long form of no drive",
       .path = u"\\\\?\\UNC\\server\\share\\virus.exe",
       .result = 2},
      {.label = "long form, 98", .windows = Windows::k98, .path = kVirusLongForm, .result = 2},
      {.label = "deep path, long form, in use, NT",
       .file = kDeep,
       .path = kDeepLongForm,
       .inUse = true,
       .counted = 1,
       .reboot = true,
       .delayedMoves = {{kDeep, u""}}},
      {.label = "in use, NT",
       .inUse = true,
       .counted = 1,
       .reboot = true,
       .delayedMoves = {{kVirus, u""}}},
      {.label = "in use, NT refuses the delayed move",
       .inUse = true,
       .delayedMovesRefused = true,
       .result = 0},
      {.label = "in use, 98, no WININIT.INI",
       .windows = Windows::k98,
       .inUse = true,
       .counted = 1,
       .reboot = true,
       .wininit = "[rename]\r\nNUL=C:\\WINDOWS\\VIRUS.EXE\r\n"},
      {.label = "in use, 98, empty WININIT.INI",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "",
       .counted = 1,
       .reboot = true,
       .wininit = "[rename]\r\nNUL=C:\\WINDOWS\\VIRUS.EXE\r\n"},
      {.label = "in use, 98, [Rename] with one entry",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "[Rename]\r\nNUL=C:\\OLD.EXE\r\n",
       .counted = 1,
       .reboot = true,
       .wininit = "[rename]\r\nNUL=C:\\WINDOWS\\VIRUS.EXE\r\nNUL=C:\\OLD.EXE\r\n"},
      {.label = "in use, 98, WININIT.INI unreadable",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "[rename]\r\n",
       .wininitInUse = true,
       .result = 0,
       .wininit = "[rename]\r\n"},
      {.label = "in use, 98, WININIT.INI read-only",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "[rename]\r\n",
       .wininitReadOnly = true,
       .result = 0,
       .wininit = "[rename]\r\n"},
      {.label = "in use, 98, no exact ANSI form",
       .windows = Windows::k98,
       .file = u"C:\\WINDOWS\\\u4E2D.exe",
       .path = u"C:\\WINDOWS\\\u4E2D.exe",
       .inUse = true,
       .result = 2},
  };
  for (const FileCase& c : cases) {
    RemovalRun run(c.windows);
    Prepare(run, c);
    const int result = run.RemoveFile(c.path);
    ExpectOutcome(c, run, result, run.stats().removedFiles);
    const bool deletedNow = c.result == 1 && !c.inUse;
    EXPECT_EQ(run.files().Find(c.file) == nullptr, deletedNow || c.file.empty()) << c.label;
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

  // A path in its long form is handed over as it is.
  run.files().shellOperations.clear();
  EXPECT_EQ(run.RemoveFile(u"\\\\?\\C:\\evil."), 2);
  ASSERT_EQ(run.files().shellOperations.size(), 1u);
  EXPECT_EQ(run.files().shellOperations[0].from, std::u16string(u"\\\\?\\C:\\evil.\0\0", 14));

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
  const FileCase cases[] = {
      {.label = "plain file", .attributes = kHiddenReadOnlySystem, .counted = 1},
      {.label = "missing", .file = u"", .result = 2},
      {.label = "folder", .path = u"C:\\WINDOWS", .result = 2},
      {.label = "deep path, long form", .file = kDeep, .path = kDeepLongForm, .counted = 1},
      {.label = "long form, 98", .windows = Windows::k98, .path = kVirusLongForm, .result = 2},
      {.label = "in use, NT",
       .inUse = true,
       .counted = 1,
       .reboot = true,
       .delayedMoves = {{kVirus, kNewName}}},
      {.label = "in use, NT refuses the delayed move",
       .inUse = true,
       .delayedMovesRefused = true,
       .result = 2},
      {.label = "in use, 98, WININIT.INI with another section",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "[Other]\r\na=1",
       .counted = 1,
       .reboot = true,
       .wininit =
           "[Other]\r\na=1\r\n[rename]\r\nC:\\WINDOWS\\virus.vir=C:\\WINDOWS\\VIRUS.EXE\r\n"},
      {.label = "in use, 98, WININIT.INI unreadable",
       .windows = Windows::k98,
       .inUse = true,
       .wininitBefore = "",
       .wininitInUse = true,
       .result = 2,
       .wininit = ""},
      // A taken new name is never left to the next start: WININIT.EXE
      // would write the file over it.
      {.label = "new name taken, NT", .newNameTaken = true, .result = 2},
      {.label = "new name taken, 98", .windows = Windows::k98, .newNameTaken = true, .result = 2},
      {.label = "in use, new name taken, NT", .inUse = true, .newNameTaken = true, .result = 2},
      {.label = "in use, new name taken, 98",
       .windows = Windows::k98,
       .inUse = true,
       .newNameTaken = true,
       .result = 2},
      {.label = "name for the shell", .attributesFail = true, .result = 3},
      {.label = "name for the shell, shell without the function",
       .attributesFail = true,
       .shellMissing = true,
       .result = 2},
  };
  for (const FileCase& c : cases) {
    RemovalRun run(c.windows);
    Prepare(run, c);
    const int result = run.RenameFile(c.path, kNewName);
    ExpectOutcome(c, run, result, run.stats().renamedFiles);
    const bool renamedNow = c.result == 1 && !c.inUse;
    EXPECT_EQ(run.files().Find(kNewName) != nullptr, renamedNow || c.newNameTaken) << c.label;
    if (c.newNameTaken) {
      EXPECT_EQ(run.files().Text(kNewName), "kept") << c.label;
    }
    if (c.result == 3) {
      ASSERT_EQ(run.files().shellOperations.size(), 1u);
      const platform::ShellFileOperation& shell = run.files().shellOperations[0];
      EXPECT_EQ(shell.function, platform::kFoRename);
      EXPECT_EQ(shell.from, u"\\\\?\\" + std::u16string(kVirus) + std::u16string(2, u'\0'));
      EXPECT_EQ(shell.to, u"\\\\?\\" + std::u16string(kNewName) + std::u16string(2, u'\0'));
      EXPECT_EQ(shell.flags, 0x0400);
    }
  }
}

// Files in use, removed or renamed, and the system started again: what the
// system really carries out at that start (delayed moves on XP, WININIT.INI
// with short names only on 98).
TEST(DelayedRemoval, TheNextStartCarriesOutWhatWasScheduled) {
  constexpr char16_t kServices[] = u"C:\\WINDOWS\\WinSecurity\\services.exe";
  constexpr char16_t kEvil[] = u"C:\\Program Files\\Evil Corp\\evil.exe";
  constexpr char16_t kEvilNew[] = u"C:\\Program Files\\Evil Corp\\evil.vir";
  const struct {
    const char* label;
    Windows windows;
    std::u16string path;
    std::optional<std::u16string> newPath;  // nothing: removed
    std::u16string noShortName = u"";       // an entry without a short name
    int result = 1;
    std::optional<std::string> wininit = std::nullopt;
  } cases[] = {
      {"XP, removed", Windows::kXp, kServices, std::nullopt},
      {"XP, renamed", Windows::kXp, kEvil, kEvilNew},
      {"XP, renamed to another volume", Windows::kXp, kEvil, u"D:\\evil.vir", u"", 2},
      {"98, removed", Windows::k98, kServices, std::nullopt, u"", 1,
       "[rename]\r\nNUL=C:\\WINDOWS\\WINSEC~1\\SERVICES.EXE\r\n"},
      {"98, removed below Program Files", Windows::k98, kEvil, std::nullopt, u"", 1,
       "[rename]\r\nNUL=C:\\PROGRA~1\\EVILCO~1\\EVIL.EXE\r\n"},
      {"98, renamed", Windows::k98, kEvil, kEvilNew, u"", 1,
       "[rename]\r\nC:\\PROGRA~1\\EVILCO~1\\evil.vir=C:\\PROGRA~1\\EVILCO~1\\EVIL.EXE\r\n"},
      {"98, renamed to a long name", Windows::k98, kEvil,
       u"C:\\Program Files\\Evil Corp\\evil.disabled", u"", 2},
      {"98, renamed into a missing folder", Windows::k98, kEvil, u"C:\\Nowhere\\evil.vir", u"", 2},
      {"98, renamed to another drive", Windows::k98, kEvil, u"D:\\EVIL.VIR", u"", 2},
      {"98, removed from a folder without a short name", Windows::k98, kServices, std::nullopt,
       u"C:\\WINDOWS\\WinSecurity", 0},
      {"98, renamed from a folder without a short name", Windows::k98, kEvil, kEvilNew,
       u"C:\\Program Files", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RemovalRun run(c.windows);
    InUse(run.files().AddFile(c.path));
    if (!c.noShortName.empty()) run.files().DropShortName(c.noShortName);
    const int result = c.newPath ? run.RenameFile(c.path, *c.newPath) : run.RemoveFile(c.path);
    EXPECT_EQ(result, c.result);
    const bool scheduled = c.result == 1;
    EXPECT_EQ(run.rebootRequired(), scheduled);
    EXPECT_EQ(run.stats().removedFiles + run.stats().renamedFiles, scheduled ? 1 : 0);
    const FakeFile* wininit = run.files().Find(kWininit);
    EXPECT_EQ(wininit ? std::optional(run.files().Text(kWininit)) : std::nullopt, c.wininit);

    run.system.StartAgain();
    EXPECT_EQ(run.files().Find(c.path) != nullptr, !scheduled);
    if (c.newPath) {
      EXPECT_EQ(run.files().Find(*c.newPath) != nullptr, scheduled);
    }
    EXPECT_TRUE(run.files().delayedMoves.empty());
    EXPECT_EQ(run.files().Find(kWininit), nullptr);
  }
}

// The start of Windows 98 passes over lines with long names, as they were
// written before: the model the test above relies on.
TEST(DelayedRemoval, Windows98StartFollowsShortNamesOnly) {
  RemovalRun run(Windows::k98);
  run.files().AddFile(u"C:\\WINDOWS\\WinSecurity\\services.exe");
  run.files().AddFile(u"C:\\WINDOWS\\WinSecurity\\other.exe");
  run.files().AddFile(u"C:\\Program Files\\a.exe");
  run.files().AddFile(u"C:\\Program Files\\b.exe");
  run.files().AddFile(kWininit, Bytes("[boot]\r\nNUL=C:\\PROGRA~1\\B.EXE\r\n"
                                      "[Rename]\r\n"
                                      "NUL=C:\\WINDOWS\\WinSecurity\\services.exe\r\n"
                                      "NUL=c:\\windows\\winsec~1\\other.exe\r\n"
                                      "C:\\PROGRA~1\\A.VIR=C:\\Program Files\\a.exe\r\n"
                                      "C:\\PROGRA~1\\B.VIR=C:\\PROGRA~1\\B.EXE\r\n"));
  EXPECT_EQ(run.files().ShortPath(u"C:\\Program Files\\b.exe"), u"C:\\PROGRA~1\\B.EXE");
  run.system.StartAgain();
  EXPECT_NE(run.files().Find(u"C:\\WINDOWS\\WinSecurity\\services.exe"), nullptr);
  EXPECT_EQ(run.files().Find(u"C:\\WINDOWS\\WinSecurity\\other.exe"), nullptr);
  EXPECT_NE(run.files().Find(u"C:\\Program Files\\a.exe"), nullptr);
  EXPECT_EQ(run.files().Find(u"C:\\Program Files\\b.exe"), nullptr);
  EXPECT_NE(run.files().Find(u"C:\\Program Files\\B.VIR"), nullptr);
  EXPECT_EQ(run.files().Find(kWininit), nullptr);
  EXPECT_NE(run.files().Find(u"C:\\WINDOWS\\WININIT.BAK"), nullptr);
}

}  // namespace
