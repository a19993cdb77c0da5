// Finding processes by name on every Windows family, and ending them: one
// thread each, all waited for in groups of 64, the priority lowered first,
// five seconds of the fake's clock for each to end, and the count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "fake_setup.h"
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

  EXPECT_EQ(codes::ToInt(Operations().TerminateProcesses(&list)), 1);
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
  EXPECT_EQ(system.startedThreads.size(), 8u);
  EXPECT_EQ(system.threadWaitGroups, (std::vector<std::size_t>{8}));
  EXPECT_TRUE(system.pendingThreads.empty());
}

TEST_F(ProcessTerminationTest, ManyProcessesAreWaitedForInGroupsOf64) {
  std::vector<scan::ProcessRecord> list;
  for (std::uint32_t id = 100; id < 230; ++id) {
    system.processTable.processes.push_back(MakeProcess(id, u"C:\\w.exe"));
    list.push_back({u"w.exe", id});
  }
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcesses(&list)), 1);
  EXPECT_EQ(system.threadWaitGroups, (std::vector<std::size_t>{64, 64, 2}));
  EXPECT_EQ(system.waitedThreads, system.startedThreads);
  EXPECT_EQ(Stats().terminatedProcesses, 130);
  EXPECT_TRUE(system.processTable.processes.empty());
}

TEST_F(ProcessTerminationTest, NoListAnEmptyListAndNoThreads) {
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcesses(nullptr)), 2);
  const std::vector<scan::ProcessRecord> empty;
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcesses(&empty)), 1);
  EXPECT_TRUE(system.startedThreads.empty());
  EXPECT_TRUE(system.threadWaitGroups.empty());

  // Without threads the processes are ended all the same, one after another.
  system.threadCreationFails = true;
  system.processTable.processes = {MakeProcess(10, u"C:\\a.exe"), MakeProcess(11, u"C:\\a.exe")};
  const std::vector<scan::ProcessRecord> two = {{u"a.exe", 10}, {u"a.exe", 11}};
  EXPECT_EQ(codes::ToInt(Operations().TerminateProcesses(&two)), 1);
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

}  // namespace
