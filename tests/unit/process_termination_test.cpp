// Finding processes by name on every Windows family, and ending them: one
// thread each, all waited for in groups of 64, the priority lowered first,
// five seconds of the fake's clock for each to end, and the count; the
// system's own processes and the program's, which are never ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "fake_setup.h"
#include "removal/protected_processes.h"
#include "removal_operations_fixture.h"

namespace {

using platform::fake::FakeProcess;
using platform::fake::MakeProcess;

std::vector<std::string> Describe(const std::vector<scan::ProcessRecord>& records) {
  std::vector<std::string> out;
  for (const auto& r : records)
    out.push_back(std::to_string(r.processId) + " " + text::ToUtf8(r.name));
  return out;
}

class ProcessTerminationTest : public qrt_test::RemovalOperationsTest {
 protected:
  ~ProcessTerminationTest() override {
    EXPECT_EQ(system.OpenThreadCount(), 0u);
    EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
  }

  std::vector<std::uint32_t> EndedIds() const {
    std::vector<std::uint32_t> ids;
    for (const FakeProcess& p : system.processTable.ended) ids.push_back(p.id);
    return ids;
  }
  FakeProcess& Process(std::uint32_t id) { return *system.processTable.Find(id); }
};

TEST_F(ProcessTerminationTest, NamesMatchWithoutRegardToCaseOnEveryFamily) {
  struct Case {
    const char* label;
    void (*setUp)(platform::fake::FakeSystem&);
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"Windows XP: the name searched for",
       platform::fake::SetUpWindowsXp,
       {"9 earlier", "12 FVPROTECT.EXE", "14 FVPROTECT.EXE"}},
      {"Windows NT 4: the module's base name",
       [](platform::fake::FakeSystem& s) { qrt_test::SetUpNt4WithPsapi(s); },
       {"9 earlier", "12 fvprotect.exe", "14 FvProtect.Exe"}},
      {"Windows 98: after the path's last backslash",
       platform::fake::SetUpWindows98,
       {"9 earlier", "12 FVPROTECT.EXE", "14 FVPROTECT.EXE"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    platform::fake::FakeSystem fresh;
    c.setUp(fresh);
    fresh.processTable.processes = {
        MakeProcess(12, u"C:\\WINDOWS\\fvprotect.exe"),
        MakeProcess(13, u"C:\\WINDOWS\\notfvprotect.exe"),
        MakeProcess(14, u"C:\\Program Files\\FvProtect.Exe"),
        MakeProcess(15, u"C:\\fvprotect.exe.bak"),
    };
    sys::SystemContext context(fresh);
    scan::ScanStatistics statistics;
    std::atomic<bool> rebootRequired{false};
    removal::SystemRemovalOperations operations(context, statistics, rebootRequired);
    std::vector<scan::ProcessRecord> list = {{u"earlier", 9}};
    operations.FindProcessesByName(u"FVPROTECT.EXE", list);
    EXPECT_EQ(Describe(list), c.found);
    EXPECT_EQ(fresh.OpenProcessObjectCount(), 0u);
  }
}

TEST_F(ProcessTerminationTest, NamesFoldAsTheSystemFoldsThem) {
  // On a Russian or Greek NT the same name in another case is the same
  // process; Windows 98 folds what its ANSI code page (Western here) holds.
  struct Case {
    const char* label;
    void (*setUp)(platform::fake::FakeSystem&);
    std::u16string running;
    std::u16string searched;
    bool found;
  };
  const Case cases[] = {
      {"XP, Cyrillic", platform::fake::SetUpWindowsXp, u"C:\\x\\\u0432\u0438\u0440\u0443\u0441.exe",
       u"\u0412\u0418\u0420\u0423\u0421.EXE", true},
      {"XP, Greek with final sigma", platform::fake::SetUpWindowsXp,
       u"C:\\x\\\u03B9\u03BF\u03C2.exe", u"\u0399\u039F\u03A3.EXE", true},
      {"XP, Cyrillic letters that differ", platform::fake::SetUpWindowsXp,
       u"C:\\x\\\u0432\u0438\u0440\u0443\u0441.exe", u"\u0412\u0418\u0420\u0423\u0422.EXE", false},
      {"98, the code page's s with caron", platform::fake::SetUpWindows98, u"C:\\x\\\u0161koda.exe",
       u"\u0160KODA.EXE", true},
      {"98, Cyrillic outside the code page", platform::fake::SetUpWindows98,
       u"C:\\x\\\u0432\u0438\u0440\u0443\u0441.exe", u"\u0412\u0418\u0420\u0423\u0421.EXE", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    platform::fake::FakeSystem fresh;
    c.setUp(fresh);
    fresh.processTable.processes = {MakeProcess(12, c.running)};
    sys::SystemContext context(fresh);
    scan::ScanStatistics statistics;
    std::atomic<bool> rebootRequired{false};
    removal::SystemRemovalOperations operations(context, statistics, rebootRequired);
    std::vector<scan::ProcessRecord> list;
    operations.FindProcessesByName(c.searched, list);
    EXPECT_EQ(list.size(), c.found ? 1u : 0u);
  }
}

TEST_F(ProcessTerminationTest, NinetyXEntriesWithoutAPathAndAFailedSnapshotFindNothing) {
  platform::fake::SetUpWindows98(system);
  system.processTable.processes = {MakeProcess(12, u"C:\\fvprotect.exe"),
                                   MakeProcess(13, u"fvprotect.exe")};
  std::vector<scan::ProcessRecord> list;
  Operations().FindProcessesByName(u"fvprotect.exe", list);
  EXPECT_EQ(Describe(list), (std::vector<std::string>{"12 fvprotect.exe"}));

  system.processTable.processSnapshotFails = true;
  list.clear();
  Operations().FindProcessesByName(u"fvprotect.exe", list);
  EXPECT_TRUE(list.empty());
}

TEST_F(ProcessTerminationTest, EachProcessEndsOnItsOwnAndOnlyThoseThatEndedCount) {
  system.processTable.processes = {MakeProcess(10, u"C:\\a.exe"), MakeProcess(11, u"C:\\a.exe"),
                                   MakeProcess(12, u"C:\\a.exe"), MakeProcess(13, u"C:\\a.exe"),
                                   MakeProcess(14, u"C:\\a.exe"), MakeProcess(15, u"C:\\a.exe"),
                                   MakeProcess(16, u"C:\\a.exe")};
  Process(11).refusesPriority = true;                      // never terminated
  Process(12).deniedAccess = platform::kProcessTerminate;  // lowered, cannot be opened to end
  Process(13).refusesTermination = true;
  Process(14).endsAfter = std::nullopt;  // ignores the termination
  Process(15).endsAfter = 4999;          // ends just in time
  Process(16).endsAfter = 5001;          // too late
  std::vector<scan::ProcessRecord> list;
  for (std::uint32_t id = 10; id <= 17; ++id) list.push_back({u"a.exe", id});  // 17 runs no more

  using codes::ProcessEndResult;
  EXPECT_EQ(Operations().TerminateProcesses(list),
            (std::vector<ProcessEndResult>{
                ProcessEndResult::kEnded, ProcessEndResult::kNotEnded, ProcessEndResult::kNotEnded,
                ProcessEndResult::kNotEnded, ProcessEndResult::kNotEnded, ProcessEndResult::kEnded,
                ProcessEndResult::kNotEnded, ProcessEndResult::kNotEnded}));
  EXPECT_EQ(Stats().terminatedProcesses, 2);
  EXPECT_EQ(EndedIds(), (std::vector<std::uint32_t>{10, 15}));
  EXPECT_FALSE(Process(11).exitCode);
  EXPECT_EQ(Process(11).priorityClass, platform::kNormalPriorityClass);
  EXPECT_EQ(Process(12).priorityClass, platform::kIdlePriorityClass);
  EXPECT_FALSE(Process(12).exitCode);
  EXPECT_EQ(Process(14).exitCode, 0u);
  EXPECT_EQ(system.processTable.ended[0].exitCode, 0u);
  // Each termination waited five seconds at the most.
  for (std::uint32_t waited : system.processTable.processWaits) EXPECT_EQ(waited, 5000u);
  // Process 17 is in no list of the system: it is not tried.
  EXPECT_EQ(system.startedThreads.size(), 7u);
  EXPECT_EQ(system.threadWaitGroups, (std::vector<std::size_t>{7}));
  EXPECT_TRUE(system.pendingThreads.empty());
}

TEST_F(ProcessTerminationTest, ManyProcessesAreWaitedForInGroupsOf64) {
  std::vector<scan::ProcessRecord> list;
  for (std::uint32_t id = 100; id < 230; ++id) {
    system.processTable.processes.push_back(MakeProcess(id, u"C:\\w.exe"));
    list.push_back({u"w.exe", id});
  }
  EXPECT_EQ(Operations().TerminateProcesses(list),
            std::vector<codes::ProcessEndResult>(130, codes::ProcessEndResult::kEnded));
  EXPECT_EQ(system.threadWaitGroups, (std::vector<std::size_t>{64, 64, 2}));
  EXPECT_EQ(system.waitedThreads, system.startedThreads);
  EXPECT_EQ(Stats().terminatedProcesses, 130);
  EXPECT_TRUE(system.processTable.processes.empty());
}

TEST_F(ProcessTerminationTest, AnEmptyListAndNoThreads) {
  EXPECT_TRUE(Operations().TerminateProcesses({}).empty());
  EXPECT_TRUE(system.startedThreads.empty());
  EXPECT_TRUE(system.threadWaitGroups.empty());

  // Without threads the processes are ended all the same, one after another.
  system.threadCreationFails = true;
  system.processTable.processes = {MakeProcess(10, u"C:\\a.exe"), MakeProcess(11, u"C:\\a.exe")};
  const std::vector<scan::ProcessRecord> two = {{u"a.exe", 10}, {u"a.exe", 11}};
  EXPECT_EQ(Operations().TerminateProcesses(two),
            std::vector<codes::ProcessEndResult>(2, codes::ProcessEndResult::kEnded));
  EXPECT_EQ(EndedIds(), (std::vector<std::uint32_t>{10, 11}));
  EXPECT_EQ(Stats().terminatedProcesses, 2);
}

TEST_F(ProcessTerminationTest, OneProcessByIdOpensWithTheRightsOfEachStep) {
  system.processTable.processes = {MakeProcess(10, u"C:\\a.exe")};
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcessById(10)), 1);
  EXPECT_EQ(
      system.processTable.openAccesses,
      (std::vector<std::uint32_t>{platform::kProcessSetInformation, platform::kProcessAllAccess}));
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcessById(10)), 0);
  EXPECT_EQ(Stats().terminatedProcesses, 1);
}

// Which images are the system's own: the family's names in the system
// folder, in the forms the system names its early processes; a name alone,
// or a form without drive, tells no place and counts as the system's.
TEST(ProtectedProcessRules, SystemProcessImagesByFamilyAndPlace) {
  struct Case {
    const char16_t* path;
    const char16_t* systemDirectory;
    bool windows9x;
    bool system;
  };
  constexpr const char16_t* xp = u"C:\\WINDOWS\\system32";
  const Case cases[] = {
      {u"\\SystemRoot\\System32\\smss.exe", xp, false, true},
      {u"\\??\\C:\\WINDOWS\\system32\\csrss.exe", xp, false, true},
      {u"C:\\WINDOWS\\SYSTEM32\\WINLOGON.EXE", xp, false, true},
      {u"\\\\?\\C:\\WINDOWS\\system32\\lsass.exe", xp, false, true},
      {u"C:\\WINDOWS\\system32\\services.exe", u"C:\\WINDOWS\\system32\\", false, true},
      {u"smss.exe", xp, false, true},
      {u"\\Device\\HarddiskVolume1\\WINDOWS\\system32\\services.exe", xp, false, true},
      {u"C:\\WINDOWS\\system32\\services.exe", u"", false, true},
      // Planted under the same names, elsewhere.
      {u"C:\\WINDOWS\\WinSecurity\\services.exe", xp, false, false},
      {u"\\??\\C:\\WINDOWS\\Connection Wizard\\Status\\csrss.exe", xp, false, false},
      {u"C:\\WINDOWS\\system32\\drivers\\lsass.exe", xp, false, false},
      {u"D:\\WINDOWS\\system32\\winlogon.exe", xp, false, false},
      {u"\\\\server\\share\\csrss.exe", xp, false, false},
      {u"\\SystemRoot\\smss.exe", xp, false, false},
      // Other names, and the other family's.
      {u"C:\\WINDOWS\\system32\\svchost.exe", xp, false, false},
      {u"C:\\WINDOWS\\system32\\KERNEL32.DLL", xp, false, false},
      {u"\\SystemRoot\\System32\\smss.exe", u"C:\\WINNT\\system32", false, true},
      {u"C:\\WINDOWS\\system32\\smss.exe", u"C:\\WINNT\\system32", false, false},
      {u"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL", u"C:\\WINDOWS\\SYSTEM", true, true},
      {u"C:\\WINDOWS\\SYSTEM\\MSGSRV32.EXE", u"C:\\WINDOWS\\SYSTEM", true, true},
      {u"C:\\WINDOWS\\SYSTEM\\Mprexe.exe", u"C:\\WINDOWS\\SYSTEM", true, true},
      {u"C:\\WINDOWS\\SYSTEM\\mmtask.tsk", u"C:\\WINDOWS\\SYSTEM", true, false},
      {u"C:\\WINDOWS\\EXPLORER.EXE", u"C:\\WINDOWS\\SYSTEM", true, false},
      {u"C:\\WINDOWS\\SYSTEM\\csrss.exe", u"C:\\WINDOWS\\SYSTEM", true, false},
      {u"C:\\WINDOWS\\TEMP\\MSGSRV32.EXE", u"C:\\WINDOWS\\SYSTEM", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.path) + " in " + text::ToUtf8(c.systemDirectory));
    EXPECT_EQ(removal::IsSystemProcessImage(c.path, c.systemDirectory, c.windows9x), c.system);
  }
  EXPECT_EQ(removal::OrdinaryImagePath(u"\\SystemRoot\\System32\\smss.exe", xp),
            u"C:\\WINDOWS\\System32\\smss.exe");
  EXPECT_EQ(removal::OrdinaryImagePath(u"\\??\\C:\\WINDOWS\\system32\\csrss.exe", xp),
            u"C:\\WINDOWS\\system32\\csrss.exe");
}

// On each family the system's own processes and the program's are left
// running, untouched and uncounted; a program planted under a protected name
// outside the system folder, and every other process, is ended.
TEST_F(ProcessTerminationTest, SystemProcessesAndTheProgramItselfAreNeverEnded) {
  using codes::ProcessEndResult;
  struct Case {
    const char* label;
    void (*setUp)(platform::fake::FakeSystem&);
    std::vector<FakeProcess> (*systemProcesses)();
    std::u16string planted;
  };
  const Case cases[] = {
      {"Windows XP", platform::fake::SetUpWindowsXp, platform::fake::SystemProcessesXp,
       u"C:\\WINDOWS\\WinSecurity\\services.exe"},
      {"Windows NT 4", [](platform::fake::FakeSystem& s) { qrt_test::SetUpNt4WithPsapi(s); },
       platform::fake::SystemProcessesNt4, u"C:\\WINNT\\Connection Wizard\\Status\\csrss.exe"},
      {"Windows 98", platform::fake::SetUpWindows98, platform::fake::SystemProcesses98,
       u"C:\\WINDOWS\\TEMP\\MSGSRV32.EXE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    platform::fake::FakeSystem fresh;
    c.setUp(fresh);
    fresh.processTable.processes = c.systemProcesses();
    const std::size_t systemCount = fresh.processTable.processes.size();
    fresh.processTable.processes.push_back(MakeProcess(900, c.planted));
    const std::uint32_t own = fresh.processTable.currentProcessId;
    fresh.processTable.processes.push_back(MakeProcess(own, u"C:\\qrt\\QuelvixRemovalTool.exe"));
    std::vector<scan::ProcessRecord> list;
    for (const FakeProcess& p : fresh.processTable.processes) list.push_back({u"x", p.id});
    sys::SystemContext context(fresh);
    scan::ScanStatistics statistics;
    std::atomic<bool> rebootRequired{false};
    removal::SystemRemovalOperations operations(context, statistics, rebootRequired);

    std::vector<ProcessEndResult> expected;
    for (const FakeProcess& p : fresh.processTable.processes) {
      // On Windows 98 the multimedia task host and the shell are not the
      // system's.
      const bool kept = p.id == own || (&p - fresh.processTable.processes.data() <
                                            static_cast<std::ptrdiff_t>(systemCount) &&
                                        !text::EndsWithNoCase(p.modules[0].path, u".TSK") &&
                                        !text::EndsWithNoCase(p.modules[0].path, u"EXPLORER.EXE"));
      expected.push_back(kept ? ProcessEndResult::kProtected : ProcessEndResult::kEnded);
    }
    const auto keptCount = static_cast<std::size_t>(
        std::count(expected.begin(), expected.end(), ProcessEndResult::kProtected));
    EXPECT_EQ(operations.TerminateProcesses(list), expected);
    EXPECT_EQ(fresh.processTable.processes.size(), keptCount);
    EXPECT_EQ(statistics.terminatedProcesses, static_cast<std::int32_t>(list.size() - keptCount));
    // A process left running was never opened to be lowered or ended.
    auto& table = fresh.processTable;
    for (std::size_t i = 0; i < table.openAccesses.size(); ++i) {
      if ((table.openAccesses[i] & platform::kProcessSetInformation) == 0) continue;
      EXPECT_EQ(table.Find(table.openedProcesses[i]), nullptr) << table.openedProcesses[i];
    }
    EXPECT_EQ(operations.TerminateProcessById(own), ProcessEndResult::kProtected);
    EXPECT_EQ(fresh.processTable.Find(own)->exitCode, std::nullopt);
  }
}

// Tool Help of Windows 2000/XP may name an early process by its file name
// alone when its modules cannot be listed: that name is enough to leave it
// running. A process whose image cannot be told at all is not tried.
TEST_F(ProcessTerminationTest, ProcessNamedWithoutFolderOrNotAtAll) {
  system.processTable.processes = platform::fake::SystemProcessesXp();
  system.processTable.processes.push_back(MakeProcess(900, u"C:\\apps\\evil.exe"));
  for (FakeProcess& p : system.processTable.processes) p.moduleSnapshotFails = true;
  system.processTable.processes[0].toolHelpName = u"smss.exe";
  EXPECT_EQ(Operations().TerminateProcessById(368), codes::ProcessEndResult::kProtected);
  EXPECT_EQ(Operations().TerminateProcessById(900), codes::ProcessEndResult::kEnded);
  system.processTable.processSnapshotFails = true;
  EXPECT_EQ(Operations().TerminateProcessById(592), codes::ProcessEndResult::kNotEnded);
  EXPECT_EQ(Stats().terminatedProcesses, 1);
  EXPECT_EQ(system.processTable.ended.size(), 1u);
}

}  // namespace
