// The removal driver (Remove of a script-described malware): the lines it
// prints and the removal operations it calls, for blocks of the script and
// for file and memory findings, first and later ones. The operations are
// recorded, not carried out.
#include "removal/script_handler.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/string_ids.h"
#include "common/text.h"
#include "descriptions/script_parser.h"
#include "removal/system_operations.h"
#include "script_test_support.h"
#include "tests/support/scan_context_stub.h"

namespace {

using removal::ScriptMalwareHandler;
using scan::ProcessRecord;
using Lines = std::vector<std::string>;

// A block with a companion file, start-up entries and two KILL_PROCESS
// actions, of which only the first counts.
constexpr char kCompanionBlock[] =
    "KILL_PROCESS %infected_processes% evil.exe\n"
    "KILL_PROCESS never.exe\n"
    "REMOVE_FILE %infected_file% C:\\WINDOWS\\fvprotect.exe C:\\WINDOWS\\zipped.tmp\n"
    "REMOVE_RUN_REG %infected_file% fvprotect.exe %INFECTED_FILE%\n";

// A block of system files, renames and a pop-up, without KILL_PROCESS.
constexpr char kSystemFilesBlock[] =
    "CLEAN_WIN_INI %infected_file%\n"
    "CLEAN_SYSTEM_INI C:\\WINDOWS\\evil.exe\n"
    "RESTORE_HOSTS\n"
    "REMOVE_FROM_HOSTS www.example.com update.example.com\n"
    "RENAME_FILE C:\\WINDOWS notepad.ex_ notepad.exe\n"
    "RENAME_FILE C:\\a.txt C:\\b.txt\n"
    "SHOW_POPUP_INFO \"Please reboot\"\n";

// A block of registry actions only, with a key that does not split.
constexpr char kRegistryBlock[] =
    "REMOVE_REG_KEY HKLM\\Software\\Evil HKEY_CLASSES_ROOT HKCR\\evil.file\n"
    "REMOVE_REG_VALUE HKCU\\Software\\Run evil other\n"
    "REPLACE_REG_VALUE \"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\" "
    "Shell %infected_file% Explorer.exe\n"
    "REPLACE_REG_VALUE HKCR\\txtfile Default C:\\evil.exe notepad.exe\n"
    "ADD_REG_KEY HKLM\\Software\\Safe\n"
    "ADD_REG_VALUE HKLM\\Software\\Safe Flag:DWORD 1\n"
    "ADD_REG_VALUE HKLM\\Software\\Safe Name\n";

// The same start-up entries with the file name first: once the handler is
// no longer pending, the name ends the arguments before the placeholder.
constexpr char kNameFirstBlock[] = "REMOVE_RUN_REG fvprotect.exe %infected_file%\n";

const std::vector<ProcessRecord> kInfected = {{u"C:\\x\\a.exe", 10}, {u"C:\\y\\b.exe", 11}};

class RemovalDriverTest : public script_test::FakeSystemTest {
 protected:
  RemovalDriverTest() {
    system.fileSystem.AddFolder(u"C:\\WINDOWS");
    auto& answers = Operations().answers;
    answers[u"RemoveFile C:\\x\\a.exe"] = 1;
    answers[u"RemoveFile C:\\WINDOWS\\fvprotect.exe"] = 1;
    answers[u"CleanIniFile C:\\x\\a.exe win.ini"] = 1;
    answers[u"CleanIniFile C:\\y\\b.exe win.ini"] = 1;
    answers[u"CleanIniFile C:\\WINDOWS\\evil.exe system.ini"] = 1;
    answers[u"RestoreHosts"] = 1;
    answers[u"RemoveFromHosts update.example.com"] = 1;
    answers[u"RenameFile C:\\WINDOWS\\notepad.ex_ C:\\WINDOWS\\notepad.exe"] = 1;
    // evil.exe is also the first infected process: it is listed twice.
    Operations().running[u"evil.exe"] = {{u"evil.exe", 10}};
  }

  // A handler of the block "Worm/Test.A" with `actions`; with a memory
  // signature or with a file signature only.
  ScriptMalwareHandler& Handler(const std::string& actions, bool memorySignature = true) {
    const std::string script =
        "[Malware Worm/Test.A]\nSIGNATURE_FILE " + std::string(64, 'A') + "\n" + actions;
    descriptions::ScriptParser parser(Context(), script_test::Crlf(script),
                                      [](std::u16string_view, std::u16string_view message) {
                                        ADD_FAILURE() << text::ToUtf8(message);
                                      });
    EXPECT_TRUE(parser.ParseScript());
    description_ = std::make_unique<descriptions::MalwareDescription>(parser.records().at(0));
    signatures::SignaturePair signatures;
    if (memorySignature) signatures.memory.length = 32;
    signatures.file.length = 32;
    handler_ = std::make_unique<ScriptMalwareHandler>(signatures, *description_);
    return *handler_;
  }

  qrt_test::ScanContextStub& Scan() {
    if (!scan_) scan_ = std::make_unique<qrt_test::ScanContextStub>(Context(), Handlers());
    return *scan_;
  }
  qrt_test::RecordingRemovalOperations& Operations() { return Scan().operations; }

  void FileFinding(ScriptMalwareHandler& handler, std::u16string_view path = u"C:\\x\\a.exe") {
    handler.Remove(Scan(), scan::FileFinding{path, headers_});
  }
  void MemoryFinding(ScriptMalwareHandler& handler,
                     const std::vector<ProcessRecord>& processes = kInfected) {
    handler.Remove(Scan(), scan::ScriptFinding{processes});
  }

  // What was printed, one line per CR LF, headings in brackets; and the
  // operations called. Both are cleared.
  Lines TakeOutput() { return Scan().recorder().TakeLines(); }
  Lines TakeCalls(std::initializer_list<std::u16string_view> leaveOut = {}) {
    return Operations().TakeCalls(leaveOut);
  }

 private:
  static std::vector<scan::MalwareHandler*> Handlers() { return {}; }

  std::unique_ptr<qrt_test::ScanContextStub> scan_;
  scan::PeFileHeaders headers_;
  std::unique_ptr<descriptions::MalwareDescription> description_;
  std::unique_ptr<ScriptMalwareHandler> handler_;
};

enum class Finding { kFile, kMemory };

struct DriverCase {
  const char* name;
  const char* block;
  Finding finding;
  bool memorySignature;
  // A later finding: the same finding once before, whose output is dropped.
  bool later;
  Lines lines;
  Lines calls;
};

TEST_F(RemovalDriverTest, BlocksAndFindingsGiveTheirLinesAndCalls) {
  const std::string found = "[Worm/Test.A] was found in file C:\\x\\a.exe !";
  const std::string inMemory = "[Worm/Test.A] was found in memory !";
  const std::string removed = "[Worm/Test.A] was successfully removed.";
  const std::string registry = "cleaning registry keys ...done";
  const std::string winlogon =
      "ReplaceRegistryValue HKEY_LOCAL_MACHINE Software\\Microsoft\\Windows "
      "NT\\CurrentVersion\\Winlogon Shell ";
  const DriverCase cases[] = {
      {"companion files, first file finding",
       kCompanionBlock,
       Finding::kFile,
       true,
       false,
       {found, "removing executable ...done",
        "deleting companion file C:\\WINDOWS\\fvprotect.exe ...done", registry, removed},
       {"RemoveFile C:\\x\\a.exe", "RemoveFile C:\\WINDOWS\\fvprotect.exe",
        "RemoveFile C:\\WINDOWS\\zipped.tmp", "RemoveRunEntries C:\\x\\a.exe",
        "RemoveRunEntries fvprotect.exe", "RemoveRunEntries C:\\x\\a.exe"}},
      {"companion files, later file finding: the file and its own start-up entries",
       kCompanionBlock,
       Finding::kFile,
       true,
       true,
       {found, "removing executable ...done", registry, removed},
       {"RemoveFile C:\\x\\a.exe", "RemoveRunEntries C:\\x\\a.exe"}},
      {"companion files, first memory finding: processes listed as found, duplicates kept",
       kCompanionBlock,
       Finding::kMemory,
       true,
       false,
       {inMemory, "terminating processes ...done",
        "deleting companion file C:\\WINDOWS\\fvprotect.exe ...done", registry, removed},
       {"FindProcessesByName evil.exe", "TerminateProcesses 10 11 10",
        "RemoveFile C:\\WINDOWS\\fvprotect.exe", "RemoveFile C:\\WINDOWS\\zipped.tmp",
        "RemoveRunEntries C:\\x\\a.exe", "RemoveRunEntries C:\\y\\b.exe",
        "RemoveRunEntries fvprotect.exe", "RemoveRunEntries C:\\x\\a.exe",
        "RemoveRunEntries C:\\y\\b.exe"}},
      {"companion files, later memory finding without memory signature: executables removed",
       kCompanionBlock,
       Finding::kMemory,
       false,
       true,
       {inMemory, "terminating processes ...done", "removing executables ...done", registry,
        removed},
       {"FindProcessesByName evil.exe", "TerminateProcesses 10 11 10", "RemoveFile C:\\x\\a.exe",
        "RemoveFile C:\\y\\b.exe", "RemoveRunEntries C:\\x\\a.exe",
        "RemoveRunEntries C:\\y\\b.exe"}},
      {"start-up name before the placeholder, later file finding: the name ends the list",
       kNameFirstBlock,
       Finding::kFile,
       true,
       true,
       {found, "removing executable ...done", registry, removed},
       {"RemoveFile C:\\x\\a.exe"}},
      {"system files, first file finding",
       kSystemFilesBlock,
       Finding::kFile,
       true,
       false,
       {found, "removing executable ...done", "cleaning \"win.ini\" file ...done",
        "cleaning \"system.ini\" file ...done", "restoring \"hosts\" file ...done",
        "cleaning \"hosts\" file ...done",
        "renaming C:\\WINDOWS\\notepad.ex_ to C:\\WINDOWS\\notepad.exe ...done", removed},
       {"RemoveFile C:\\x\\a.exe", "CleanIniFile C:\\x\\a.exe win.ini",
        "CleanIniFile C:\\WINDOWS\\evil.exe system.ini", "RestoreHosts",
        "RemoveFromHosts www.example.com", "RemoveFromHosts update.example.com",
        "RenameFile C:\\WINDOWS\\notepad.ex_ C:\\WINDOWS\\notepad.exe",
        "RenameFile C:\\a.txt C:\\b.txt", "ShowPopup Please reboot"}},
      {"system files, later file finding: the infected file's forms and the pop-up",
       kSystemFilesBlock,
       Finding::kFile,
       true,
       true,
       {found, "removing executable ...done", "cleaning \"win.ini\" file ...done", removed},
       {"RemoveFile C:\\x\\a.exe", "CleanIniFile C:\\x\\a.exe win.ini", "ShowPopup Please reboot"}},
      {"system files, later memory finding: no KILL_PROCESS, no termination line",
       kSystemFilesBlock,
       Finding::kMemory,
       true,
       true,
       {inMemory, "cleaning \"win.ini\" file ...done", removed},
       {"CleanIniFile C:\\x\\a.exe win.ini", "CleanIniFile C:\\y\\b.exe win.ini",
        "ShowPopup Please reboot"}},
      {"registry, first file finding",
       kRegistryBlock,
       Finding::kFile,
       true,
       false,
       {found, "removing executable ...done", registry, removed},
       {"RemoveFile C:\\x\\a.exe", "RemoveRegistryKey HKEY_LOCAL_MACHINE Software\\Evil",
        "RemoveRegistryKey HKEY_CLASSES_ROOT evil.file",
        "RemoveRegistryValue HKEY_CURRENT_USER Software\\Run evil",
        "RemoveRegistryValue HKEY_CURRENT_USER Software\\Run other",
        winlogon + "C:\\x\\a.exe Explorer.exe",
        "ReplaceRegistryValue HKEY_CLASSES_ROOT txtfile Default C:\\evil.exe notepad.exe",
        "AddRegistryKey HKEY_LOCAL_MACHINE Software\\Safe",
        "AddRegistryValue HKEY_LOCAL_MACHINE Software\\Safe Flag DWORD 1",
        "AddRegistryValue HKEY_LOCAL_MACHINE Software\\Safe Name <none> <none>"}},
      {"registry, later memory finding: the registry line again",
       kRegistryBlock,
       Finding::kMemory,
       true,
       true,
       {inMemory, registry, removed},
       {winlogon + "C:\\x\\a.exe Explorer.exe", winlogon + "C:\\y\\b.exe Explorer.exe"}},
  };
  for (const DriverCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptMalwareHandler& handler = Handler(c.block, c.memorySignature);
    const auto find = [&] {
      if (c.finding == Finding::kFile) {
        FileFinding(handler);
      } else {
        MemoryFinding(handler);
      }
    };
    if (c.later) {
      find();
      EXPECT_FALSE(handler.pending());
      TakeOutput();
      TakeCalls();
    }
    find();
    EXPECT_EQ(TakeOutput(), c.lines);
    EXPECT_EQ(TakeCalls(), c.calls);
    EXPECT_FALSE(handler.pending());
    EXPECT_FALSE(handler.registryTouched());
  }
}

// Which results end a line in "done": the infected file only on 1, the
// executables of a memory finding on anything but 0 from any of them.
TEST_F(RemovalDriverTest, RemovalResultsDecideDoneOrFailed) {
  struct Case {
    Finding finding;
    int first;
    int second;
    const char* line;
  };
  const Case cases[] = {
      {Finding::kFile, 2, 0, "removing executable ...failed"},
      {Finding::kFile, 0, 0, "removing executable ...failed"},
      {Finding::kMemory, 0, 0, "removing executables ...failed"},
      {Finding::kMemory, 0, 2, "removing executables ...done"},
  };
  for (const Case& c : cases) {
    ScriptMalwareHandler& handler = Handler("RESTORE_HOSTS\n", false);
    Operations().answers[u"RemoveFile C:\\x\\a.exe"] = c.first;
    Operations().answers[u"RemoveFile C:\\y\\b.exe"] = c.second;
    if (c.finding == Finding::kFile) {
      FileFinding(handler);
    } else {
      MemoryFinding(handler);
    }
    const Lines lines = TakeOutput();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], c.line);
    TakeCalls();
  }
}

// A hosts file left as it was because it is UTF-16 text (result 3) gives
// its line with "failed"; one that changed, "done"; nothing done, no line.
TEST_F(RemovalDriverTest, HostsLinesTellAFileLeftAsUtf16) {
  const struct {
    int restore;
    int removeFirst;
    int removeSecond;
    Lines hostsLines;
  } cases[] = {
      {3, 3, 3, {"restoring \"hosts\" file ...failed", "cleaning \"hosts\" file ...failed"}},
      {1, 3, 1, {"restoring \"hosts\" file ...done", "cleaning \"hosts\" file ...done"}},
      {2, 2, 7, {}},
  };
  for (const auto& c : cases) {
    ScriptMalwareHandler& handler =
        Handler("RESTORE_HOSTS\nREMOVE_FROM_HOSTS a.example b.example\n", false);
    Operations().answers[u"RestoreHosts"] = c.restore;
    Operations().answers[u"RemoveFromHosts a.example"] = c.removeFirst;
    Operations().answers[u"RemoveFromHosts b.example"] = c.removeSecond;
    FileFinding(handler);
    Lines hostsLines;
    for (const std::string& line : TakeOutput()) {
      if (line.find("\"hosts\"") != std::string::npos) hostsLines.push_back(line);
    }
    EXPECT_EQ(hostsLines, c.hostsLines) << c.restore;
    TakeCalls();
  }
}

TEST_F(RemovalDriverTest, OneProcessIsTerminatedOnTheSingularLine) {
  ScriptMalwareHandler& handler = Handler("KILL_PROCESS %INFECTED_PROCESSES%\n");
  MemoryFinding(handler, {kInfected[1]});
  EXPECT_EQ(TakeOutput(),
            (Lines{"[Worm/Test.A] was found in memory !", "terminating process ...done",
                   "[Worm/Test.A] was successfully removed."}));
  EXPECT_EQ(TakeCalls(), (Lines{"TerminateProcesses 11"}));
}

// The termination line says what did not end: "failed" or that the process
// is left running for a line of one, each process that did not end for a
// line of several.
TEST_F(RemovalDriverTest, TerminationLineTellsWhichProcessesDidNotEnd) {
  using codes::ProcessEndResult;
  const std::vector<ProcessRecord> three = {{u"C:\\x\\a.exe", 10},
                                            {u"C:\\y\\b.exe", 11},
                                            {u"\\??\\C:\\WINDOWS\\system32\\csrss.exe", 592}};
  struct Case {
    std::vector<ProcessRecord> processes;
    std::map<std::uint32_t, ProcessEndResult> ends;
    const char* line;
  };
  const Case cases[] = {
      {{three[1]}, {{11, ProcessEndResult::kNotEnded}}, "terminating process ...failed"},
      {{three[2]},
       {{592, ProcessEndResult::kProtected}},
       "terminating process ...not ended: a process of Windows or of this program"},
      {three, {}, "terminating processes ...done"},
      {three,
       {{11, ProcessEndResult::kNotEnded}, {592, ProcessEndResult::kProtected}},
       "terminating processes ...failed for C:\\y\\b.exe (11), "
       "\\??\\C:\\WINDOWS\\system32\\csrss.exe (592, a process of Windows or of this program)"},
      {three,
       {{10, ProcessEndResult::kNotEnded},
        {11, ProcessEndResult::kNotEnded},
        {592, ProcessEndResult::kNotEnded}},
       "terminating processes ...failed for C:\\x\\a.exe (10), C:\\y\\b.exe (11), "
       "\\??\\C:\\WINDOWS\\system32\\csrss.exe (592)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ScriptMalwareHandler& handler = Handler("KILL_PROCESS %infected_processes%\n");
    Operations().listEnds = c.ends;
    MemoryFinding(handler, c.processes);
    const Lines lines = TakeOutput();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], c.line);
    TakeCalls();
  }
}

// A file of the system's own processes in the system folder is neither
// deleted nor scheduled, as the infected file or as a process's executable;
// the same name elsewhere is removed.
TEST_F(RemovalDriverTest, SystemProcessFilesAreKept) {
  const std::u16string services = u"C:\\WINDOWS\\system32\\services.exe";
  struct Case {
    const char* name;
    Finding finding;
    std::vector<ProcessRecord> processes;
    const char* line;
    Lines removed;
  };
  const Case cases[] = {
      {"file finding",
       Finding::kFile,
       {},
       "removing executable ...not removed: a file of Windows",
       {}},
      {"the executable of a process",
       Finding::kMemory,
       {{services, 660}},
       "removing executables ...not removed: a file of Windows",
       {}},
      {"beside another process's executable",
       Finding::kMemory,
       {{services, 660}, {u"C:\\x\\a.exe", 10}},
       "removing executables ...done",
       {"RemoveFile C:\\x\\a.exe"}},
      {"the same name elsewhere",
       Finding::kMemory,
       {{u"C:\\WINDOWS\\WinSecurity\\services.exe", 900}},
       "removing executables ...failed",
       {"RemoveFile C:\\WINDOWS\\WinSecurity\\services.exe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptMalwareHandler& handler = Handler("RESTORE_HOSTS\n", false);
    Operations().answers[u"RemoveFile C:\\WINDOWS\\WinSecurity\\services.exe"] = 0;
    if (c.finding == Finding::kFile) {
      FileFinding(handler, services);
    } else {
      MemoryFinding(handler, c.processes);
    }
    const Lines lines = TakeOutput();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], c.line);
    EXPECT_EQ(TakeCalls({u"RestoreHosts"}), c.removed);
  }
}

TEST_F(RemovalDriverTest, KilledNamesThatRunNowhereGiveNoTerminationLine) {
  ScriptMalwareHandler& handler = Handler("KILL_PROCESS gone.exe\n");
  MemoryFinding(handler);
  EXPECT_EQ(TakeOutput(), (Lines{"[Worm/Test.A] was found in memory !",
                                 "[Worm/Test.A] was successfully removed."}));
  EXPECT_EQ(TakeCalls(), (Lines{"FindProcessesByName gone.exe"}));
}

// A memory finding without processes, and one meant for built-in handlers.
TEST_F(RemovalDriverTest, MemoryFindingWithoutItsProcessesDoesNothing) {
  ScriptMalwareHandler& handler = Handler(kCompanionBlock);
  MemoryFinding(handler, {});
  handler.Remove(Scan(), scan::ProcessFinding{u"C:\\x\\a.exe", 10, false});
  EXPECT_EQ(TakeOutput(), Lines{});
  EXPECT_EQ(TakeCalls(), Lines{});
  EXPECT_TRUE(handler.pending());
}

TEST_F(RemovalDriverTest, ClosingLineComesEvenWhenEveryStepFails) {
  ScriptMalwareHandler& handler = Handler(std::string(kCompanionBlock) + kSystemFilesBlock);
  Operations().answers.clear();
  Operations().answers[u"RemoveFile"] = 0;
  FileFinding(handler);
  EXPECT_EQ(TakeOutput(), (Lines{"[Worm/Test.A] was found in file C:\\x\\a.exe !",
                                 "removing executable ...failed", "cleaning registry keys ...done",
                                 "[Worm/Test.A] was successfully removed."}));
}

TEST(SplitRegistryPath, SplitsAtTheFirstBackslash) {
  struct Case {
    std::u16string_view path;
    std::optional<std::pair<std::u16string_view, std::u16string_view>> split;
  };
  const Case cases[] = {
      {u"HKEY_LOCAL_MACHINE\\Software\\Evil", {{u"HKEY_LOCAL_MACHINE", u"Software\\Evil"}}},
      {u"HKEY_CURRENT_USER\\", {{u"HKEY_CURRENT_USER", u""}}},
      {u"\\Software", {{u"", u"Software"}}},
      {u"HKEY_CLASSES_ROOT", std::nullopt},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto split = removal::SplitRegistryPath(c.path);
    ASSERT_EQ(split.has_value(), c.split.has_value()) << text::ToUtf8(c.path);
    if (split) {
      EXPECT_EQ(split->root, c.split->first);
      EXPECT_EQ(split->subkey, c.split->second);
    }
  }
}

// The real pop-up: a modal box without owner, with the program's title and
// OK only; the worker goes on once it is closed.
TEST_F(RemovalDriverTest, PopupIsAModalBoxWithTheProgramsTitle) {
  removal::SystemRemovalOperations operations(Context(), Scan().statistics(),
                                              Scan().rebootRequired());
  EXPECT_EQ(operations.ShowPopup(u"Please reboot"), codes::PopupResult::kClosed);
  system.strings.erase(strings::kWindowTitle);
  EXPECT_EQ(operations.ShowPopup(u"again"), codes::PopupResult::kClosed);
  ASSERT_EQ(system.messageBoxes.size(), 2u);
  const auto& box = system.messageBoxes[0];
  EXPECT_EQ(box.owner, 0u);
  EXPECT_EQ(box.text, u"Please reboot");
  EXPECT_EQ(box.caption, u"Quelvix Removal Tool 3.0");
  EXPECT_EQ(box.type, platform::kMbOk);
  EXPECT_TRUE(system.messageBoxes[1].defaultCaption);
}

}  // namespace
