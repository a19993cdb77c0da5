// The system context against the real system: the bound process walker
// lists this process with its modules and a child process. The suites
// WineNt40 and WineWin98 run only in a prefix whose Windows version is set
// to nt40 or win98 (run-with-version.sh); the plain run excludes them.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/win32/win32_system.h"
#include "system/process_enumeration.h"
#include "system/system_context.h"
#include "waiting_child.h"

namespace {

using win32_test::WaitingChild;

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) c = static_cast<char16_t>(::towlower(c));
  return s;
}

std::u16string FileName(const std::u16string& path) {
  return path.substr(path.find_last_of(u'\\') + 1);
}

std::u16string ToU16(const wchar_t* s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s));
}

// The processes of the walker's walk by id.
std::map<std::uint32_t, std::u16string> WalkProcesses(const sys::ProcessWalker& walker) {
  std::map<std::uint32_t, std::u16string> processes;
  const auto list = walker.OpenProcessList();
  if (list == nullptr) return processes;
  sys::RunningProcess record;
  while (list->Next(record)) processes[record.processId] = record.name;
  return processes;
}

// The modules of the walker's walk by base address.
std::map<std::uint64_t, sys::ModuleRecord> WalkModules(const sys::ProcessWalker& walker,
                                                       std::uint32_t processId) {
  std::map<std::uint64_t, sys::ModuleRecord> modules;
  const auto list = walker.OpenModuleList(processId);
  if (list == nullptr) return modules;
  sys::ModuleRecord record;
  while (list->Next(record)) modules[record.baseAddress] = record;
  return modules;
}

// Tool Help, called directly: the modules of a process by base address.
std::map<std::uint64_t, MODULEENTRY32W> ToolHelpModules(DWORD processId) {
  std::map<std::uint64_t, MODULEENTRY32W> modules;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot, &entry); more;
       more = ::Module32NextW(snapshot, &entry)) {
    modules[reinterpret_cast<std::uintptr_t>(entry.modBaseAddr)] = entry;
  }
  ::CloseHandle(snapshot);
  return modules;
}

// Tool Help, called directly: the process ids.
std::set<std::uint32_t> ToolHelpProcessIds() {
  std::set<std::uint32_t> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    ids.insert(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return ids;
}

class EnumerationTest : public ::testing::Test {
 protected:
  std::unique_ptr<platform::System> system_ = platform::win32::CreateSystem();
  WaitingChild child_;
};

// The context's module walk of this process agrees with Tool Help.
void ExpectOwnModulesAsToolHelpLists(const sys::ProcessWalker& walker) {
  const auto modules = WalkModules(walker, ::GetCurrentProcessId());
  const auto expected = ToolHelpModules(::GetCurrentProcessId());
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(modules.size(), expected.size());
  for (const auto& [base, entry] : expected) {
    SCOPED_TRACE(text::ToUtf8(ToU16(entry.szExePath)));
    const auto it = modules.find(base);
    ASSERT_NE(it, modules.end());
    EXPECT_EQ(Lower(it->second.path), Lower(ToU16(entry.szExePath)));
    EXPECT_EQ(it->second.size, entry.modBaseSize);
    EXPECT_EQ(it->second.module, reinterpret_cast<std::uintptr_t>(entry.hModule));
    EXPECT_EQ(it->second.processId, ::GetCurrentProcessId());
  }
  // Among them the program and KERNEL32.DLL where this process has them.
  wchar_t own[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  const auto exe = modules.find(reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr)));
  ASSERT_NE(exe, modules.end());
  EXPECT_EQ(Lower(exe->second.path), Lower(ToU16(own)));
  EXPECT_NE(modules.find(reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(L"KERNEL32.DLL"))),
            modules.end());
}

TEST_F(EnumerationTest, ToolHelpListsThisProcessAndAChild) {
  sys::SystemContext context(*system_);
  ASSERT_NE(context.processWalker(), nullptr);
  const sys::ProcessWalker& walker = *context.processWalker();
  EXPECT_EQ(walker.kind(), sys::ProcessWalker::Kind::kWideToolHelp);
  EXPECT_TRUE(context.psapiPath().empty());

  const auto processes = WalkProcesses(walker);
  ASSERT_TRUE(processes.count(::GetCurrentProcessId()));
  EXPECT_EQ(Lower(processes.at(::GetCurrentProcessId())), u"qrt_win32_tests.exe");
  ASSERT_TRUE(processes.count(child_.id()));
  EXPECT_EQ(Lower(processes.at(child_.id())), u"cmd.exe");

  ExpectOwnModulesAsToolHelpLists(walker);
  const auto childModules = WalkModules(walker, child_.id());
  ASSERT_FALSE(childModules.empty());
  bool hasCmd = false;
  for (const auto& [base, module] : childModules) {
    hasCmd = hasCmd || Lower(FileName(module.path)) == u"cmd.exe";
  }
  EXPECT_TRUE(hasCmd);
  // A process that does not exist has no module list.
  EXPECT_EQ(walker.OpenModuleList(0xFFFFFFF0), nullptr);
}

TEST_F(EnumerationTest, StreamReaderAndDebugPrivilege) {
  sys::SystemContext context(*system_);
  EXPECT_TRUE(context.streamReaderBound());
  EXPECT_TRUE(sys::EnableDebugPrivilege(*system_));
  EXPECT_TRUE(context.specialFolderPath());
  EXPECT_TRUE(context.longPathName());
}

// Wine's version set to nt40: the program's own PSAPI.DLL is written to the
// temporary folder, loaded from there, and lists what Tool Help lists.
TEST(WineNt40, OwnPsapiIsWrittenLoadedAndListsAsToolHelp) {
  const auto system = platform::win32::CreateSystem();
  const auto version = system->runtime().QueryVersion();
  ASSERT_TRUE(version.has_value());
  ASSERT_EQ(version->platformId, platform::kPlatformWin32Nt);
  ASSERT_EQ(version->majorVersion, 4u);
  WaitingChild child;

  sys::SystemContext context(*system);
  ASSERT_TRUE(context.isWindowsNt4());
  ASSERT_NE(context.processWalker(), nullptr);
  const sys::ProcessWalker& walker = *context.processWalker();
  ASSERT_EQ(walker.kind(), sys::ProcessWalker::Kind::kProcessStatusHelper);
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(context.psapiPath(), ToU16(temp) + u"PSAPI.DLL");

  // The file holds the image the program carries, and the module loaded
  // from that path is it (not Wine's built-in library).
  const auto image =
      system->resources().LoadResourceData(sys::kPsapiResourceType, sys::kPsapiResourceName);
  ASSERT_TRUE(image.has_value());
  const std::u16string path = context.psapiPath();
  HMODULE loaded = ::GetModuleHandleW(reinterpret_cast<const wchar_t*>(path.c_str()));
  ASSERT_NE(loaded, nullptr);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image->data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image->data() + dos->e_lfanew);
  const DWORD headers = nt->OptionalHeader.SizeOfHeaders;
  ASSERT_LE(headers, image->size());
  EXPECT_EQ(std::memcmp(loaded, image->data(), headers), 0);
  HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<std::uint8_t> written(image->size() + 1);
  DWORD read = 0;
  ::ReadFile(file, written.data(), static_cast<DWORD>(written.size()), &read, nullptr);
  ::CloseHandle(file);
  written.resize(read);
  EXPECT_EQ(written, *image);

  // Every process the walk gives is one Tool Help lists, this one and the
  // child among them, named by their first module.
  const auto processes = WalkProcesses(walker);
  const auto toolHelp = ToolHelpProcessIds();
  for (const auto& [id, name] : processes) {
    EXPECT_TRUE(toolHelp.count(id)) << id << " " << text::ToUtf8(name);
  }
  ASSERT_TRUE(processes.count(::GetCurrentProcessId()));
  EXPECT_EQ(Lower(processes.at(::GetCurrentProcessId())), u"qrt_win32_tests.exe");
  ASSERT_TRUE(processes.count(child.id()));
  EXPECT_EQ(Lower(processes.at(child.id())), u"cmd.exe");
  // Every process Tool Help lists that can be opened and read is walked.
  for (std::uint32_t id : toolHelp) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (process == nullptr) continue;
    ::CloseHandle(process);
    if (ToolHelpModules(id).empty()) continue;
    EXPECT_TRUE(processes.count(id)) << id;
  }

  ExpectOwnModulesAsToolHelpLists(walker);
  const auto childModules = WalkModules(walker, child.id());
  const auto childExpected = ToolHelpModules(child.id());
  EXPECT_EQ(childModules.size(), childExpected.size());
  for (const auto& [base, entry] : childExpected) {
    ASSERT_TRUE(childModules.count(base));
    EXPECT_EQ(Lower(childModules.at(base).path), Lower(ToU16(entry.szExePath)));
  }
}

// Wine's version set to win98: the narrow Tool Help walker is bound and its
// names are widened from the ANSI code page.
TEST(WineWin98, NarrowToolHelpIsBound) {
  const auto system = platform::win32::CreateSystem();
  const auto version = system->runtime().QueryVersion();
  ASSERT_TRUE(version.has_value());
  ASSERT_EQ(version->platformId, platform::kPlatformWin32Windows);
  WaitingChild child;

  sys::SystemContext context(*system);
  ASSERT_TRUE(context.isWindows9x());
  ASSERT_NE(context.processWalker(), nullptr);
  const sys::ProcessWalker& walker = *context.processWalker();
  EXPECT_EQ(walker.kind(), sys::ProcessWalker::Kind::kNarrowToolHelp);

  const auto processes = WalkProcesses(walker);
  ASSERT_TRUE(processes.count(::GetCurrentProcessId()));
  EXPECT_TRUE(text::EndsWithNoCase(processes.at(::GetCurrentProcessId()), u"qrt_win32_tests.exe"));
  ASSERT_TRUE(processes.count(child.id()));
  EXPECT_TRUE(text::EndsWithNoCase(processes.at(child.id()), u"cmd.exe"));
  ExpectOwnModulesAsToolHelpLists(walker);
}

}  // namespace
