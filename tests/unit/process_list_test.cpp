// Process and module enumeration through the walker of each Windows family,
// its failure answers, and the debug privilege.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "fake_setup.h"
#include "platform/fake/fake_system.h"
#include "system/process_enumeration.h"
#include "system/system_context.h"

namespace {

using platform::fake::FakeProcess;
using platform::fake::MakeProcess;

using ProcessNames = std::vector<std::pair<std::uint32_t, std::string>>;

// A record as "path base size handle pid".
std::string Describe(const sys::ModuleRecord& m) {
  return text::ToUtf8(m.path) + " " + std::to_string(m.baseAddress) + " " + std::to_string(m.size) +
         " " + std::to_string(m.module) + " " + std::to_string(m.processId);
}

class ProcessListTest : public ::testing::Test {
 protected:
  ProcessListTest() {
    system.processTable.processes = {
        MakeProcess(0, u"[System Process]"),
        MakeProcess(8, u"System"),
        MakeProcess(160, u"C:\\WINNT\\system32\\smss.exe", {u"C:\\WINNT\\system32\\ntdll.dll"}),
        MakeProcess(412, u"C:\\WINNT\\Explorer.EXE",
                    {u"C:\\WINNT\\system32\\ntdll.dll", u"C:\\WINNT\\system32\\KERNEL32.dll"}),
    };
    system.processTable.Find(0)->refusesOpening = true;
    system.processTable.Find(8)->modulesUnlistable = true;
  }

  // The whole process walk as (id, name) pairs; `firstOk` receives the
  // first step's answer.
  static ProcessNames Walk(const sys::ProcessWalker& walker, bool* firstOk = nullptr) {
    ProcessNames names;
    const auto list = walker.OpenProcessList();
    if (list == nullptr) return {{~0u, "no list"}};
    sys::RunningProcess record;
    bool more = list->Next(record);
    if (firstOk != nullptr) *firstOk = more;
    for (; more; more = list->Next(record)) {
      names.emplace_back(record.processId, text::ToUtf8(record.name));
    }
    return names;
  }

  static std::vector<std::string> Modules(const sys::ProcessWalker& walker, std::uint32_t id) {
    std::vector<std::string> modules;
    const auto list = walker.OpenModuleList(id);
    if (list == nullptr) return {"no list"};
    sys::ModuleRecord record;
    while (list->Next(record)) modules.push_back(Describe(record));
    return modules;
  }

  // The walker of `context`, which must have one.
  static const sys::ProcessWalker& WalkerOf(const sys::SystemContext& context) {
    EXPECT_NE(context.processWalker(), nullptr);
    return *context.processWalker();
  }

  platform::fake::FakeSystem system;
};

TEST_F(ProcessListTest, WindowsXpListsFileNamesAndModulesWithToolHelp) {
  sys::SystemContext context(system);
  const sys::ProcessWalker& walker = WalkerOf(context);
  EXPECT_EQ(walker.kind(), sys::ProcessWalker::Kind::kWideToolHelp);
  EXPECT_EQ(Walk(walker),
            (ProcessNames{
                {0, "[System Process]"}, {8, "System"}, {160, "smss.exe"}, {412, "Explorer.EXE"}}));
  EXPECT_EQ(
      Modules(walker, 412),
      (std::vector<std::string>{"C:\\WINNT\\Explorer.EXE 4194304 131072 4194304 412",
                                "C:\\WINNT\\system32\\ntdll.dll 268435456 32768 268435456 412",
                                "C:\\WINNT\\system32\\KERNEL32.dll 269484032 32768 "
                                "269484032 412"}));
  // Tool Help needs no process handle, and every snapshot was closed.
  EXPECT_TRUE(system.processTable.openedProcesses.empty());
  EXPECT_EQ(system.processTable.snapshotFlags, (std::vector<std::uint32_t>{2, 8}));
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(ProcessListTest, Windows98ListsFullPathsWidenedFromTheAnsiCodePage) {
  platform::fake::SetUpWindows98(system);
  // "Café" and "€" are 0xE9 and 0x80 in the ANSI code page.
  system.processTable.processes = {
      MakeProcess(0xFFF1A2B3, u"C:\\WINDOWS\\Café\\€.EXE", {u"C:\\WINDOWS\\SYSTEM\\Ünï.DLL"})};
  sys::SystemContext context(system);
  const sys::ProcessWalker& walker = WalkerOf(context);
  ASSERT_EQ(walker.kind(), sys::ProcessWalker::Kind::kNarrowToolHelp);
  EXPECT_EQ(Walk(walker), (ProcessNames{{0xFFF1A2B3, "C:\\WINDOWS\\Café\\€.EXE"}}));
  const auto modules = Modules(walker, 0xFFF1A2B3);
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[1], "C:\\WINDOWS\\SYSTEM\\Ünï.DLL 268435456 32768 268435456 4294025907");

  // A name that cannot be widened ends the walk.
  system.ansiToWideFails = true;
  bool firstOk = true;
  EXPECT_TRUE(Walk(walker, &firstOk).empty());
  EXPECT_FALSE(firstOk);
  EXPECT_TRUE(Modules(walker, 0xFFF1A2B3).empty());
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(ProcessListTest, Nt4ListsBaseNamesAndSkipsWhatCannotBeRead) {
  qrt_test::SetUpNt4WithPsapi(system);
  // Process 300 ended after EnumProcesses; 500's first module has no
  // readable name; 412 has a module whose path cannot be read.
  system.processTable.processes.push_back(MakeProcess(300, u"C:\\gone.exe"));
  system.processTable.Find(300)->refusesOpening = true;
  system.processTable.processes.push_back(MakeProcess(500, u"C:\\hidden.exe"));
  system.processTable.Find(500)->modules[0].pathUnreadable = true;
  system.processTable.Find(412)->modules[1].pathUnreadable = true;
  system.processTable.processes.push_back(MakeProcess(600, u"C:\\WINNT\\system32\\csrss.exe"));

  sys::SystemContext context(system);
  const sys::ProcessWalker& walker = WalkerOf(context);
  ASSERT_EQ(walker.kind(), sys::ProcessWalker::Kind::kProcessStatusHelper);
  bool firstOk = false;
  // Idle (0) and System (8) cannot be read: the first step goes on to smss.
  EXPECT_EQ(Walk(walker, &firstOk),
            (ProcessNames{{160, "smss.exe"}, {412, "Explorer.EXE"}, {600, "csrss.exe"}}));
  EXPECT_TRUE(firstOk);
  EXPECT_EQ(Modules(walker, 412),
            (std::vector<std::string>{"C:\\WINNT\\Explorer.EXE 4194304 131072 4194304 412",
                                      "C:\\WINNT\\system32\\KERNEL32.dll 269484032 32768 "
                                      "269484032 412"}));
  EXPECT_EQ(Modules(walker, 0), std::vector<std::string>{"no list"});
  EXPECT_EQ(Modules(walker, 8), std::vector<std::string>{"no list"});

  // The calls' arguments: 4096 bytes of ids, 1024 module handles, names of
  // 260 characters, processes opened for query and read; every handle closed.
  const auto& p = system.processTable;
  EXPECT_EQ(p.enumProcessesBytes, std::vector<std::uint32_t>{4096});
  for (std::uint32_t count : p.enumModulesCounts) EXPECT_EQ(count, 1024u);
  for (std::uint32_t chars : p.nameBufferChars) EXPECT_EQ(chars, 260u);
  for (std::uint32_t access : p.openAccesses) EXPECT_EQ(access, 0x410u);
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(ProcessListTest, Nt4WalkWithNothingReadable) {
  qrt_test::SetUpNt4WithPsapi(system);
  system.processTable.processes.resize(2);  // idle and System only
  sys::SystemContext context(system);
  const auto list = WalkerOf(context).OpenProcessList();
  ASSERT_NE(list, nullptr);
  sys::RunningProcess record{77, u"unchanged"};
  EXPECT_FALSE(list->Next(record));
  EXPECT_FALSE(list->Next(record));
  EXPECT_EQ(record.processId, 77u);
  EXPECT_EQ(record.name, u"unchanged");
}

TEST_F(ProcessListTest, Nt4ModuleWalkFollowsTheProcess) {
  qrt_test::SetUpNt4WithPsapi(system);
  sys::SystemContext context(system);
  auto list = WalkerOf(context).OpenModuleList(412);
  ASSERT_NE(list, nullptr);
  sys::ModuleRecord record;
  ASSERT_TRUE(list->Next(record));
  // The process ends during the walk: the next step finds no process.
  system.processTable.Find(412)->refusesOpening = true;
  EXPECT_FALSE(list->Next(record));
  EXPECT_EQ(record.path, u"C:\\WINNT\\Explorer.EXE");
  list.reset();
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(ProcessListTest, ListsThatCannotBeOpened) {
  {
    system.processTable.processSnapshotFails = true;
    system.processTable.Find(412)->moduleSnapshotFails = true;
    sys::SystemContext context(system);
    const sys::ProcessWalker& walker = WalkerOf(context);
    EXPECT_EQ(walker.OpenProcessList(), nullptr);
    EXPECT_EQ(walker.OpenModuleList(412), nullptr);
    EXPECT_EQ(walker.OpenModuleList(9999), nullptr);
    EXPECT_NE(walker.OpenModuleList(160), nullptr);
  }
  qrt_test::SetUpNt4WithPsapi(system);
  system.processTable.enumProcessesFails = true;
  sys::SystemContext context(system);
  EXPECT_EQ(WalkerOf(context).OpenProcessList(), nullptr);
  // Every list handed out closed its snapshot.
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(ProcessListTest, DebugPrivilege) {
  struct Case {
    const char* what;
    void (*spoil)(platform::fake::FakeProcesses&);
    bool enabled;
    std::size_t adjustments;
  };
  const Case cases[] = {
      {"enabled", [](auto&) {}, true, 1},
      // AdjustTokenPrivileges succeeds without the privilege; its answer
      // counts.
      {"not held",
       [](auto& p) {
         p.adjustAnswer = {true, platform::kErrorNotAllAssigned};
       },
       true, 1},
      {"adjusting fails",
       [](auto& p) {
         p.adjustAnswer = {false, 5};
       },
       false, 1},
      {"no token", [](auto& p) { p.tokenOpenFails = true; }, false, 0},
      {"unknown privilege", [](auto& p) { p.privileges.clear(); }, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::fake::FakeSystem fresh;
    c.spoil(fresh.processTable);
    EXPECT_EQ(sys::EnableDebugPrivilege(fresh), c.enabled);
    EXPECT_EQ(fresh.processTable.tokenAccesses, std::vector<std::uint32_t>{0x20});
    ASSERT_EQ(fresh.processTable.adjustments.size(), c.adjustments);
    if (c.adjustments != 0) {
      EXPECT_EQ(fresh.processTable.lookedUpPrivileges,
                std::vector<std::u16string>{u"SeDebugPrivilege"});
      EXPECT_EQ(fresh.processTable.adjustments[0].privilege, 20u);
      EXPECT_EQ(fresh.processTable.adjustments[0].attributes, 2u);
    }
    EXPECT_EQ(fresh.OpenProcessObjectCount(), 0u);
  }
  // Windows 9x has no token.
  platform::fake::FakeSystem w98;
  platform::fake::SetUpWindows98(w98);
  EXPECT_FALSE(sys::EnableDebugPrivilege(w98));
}

}  // namespace
