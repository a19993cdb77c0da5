// The Process Status Helper library that the program carries for Windows NT 4:
// written out from the program's resources, loaded by its full path, and
// compared with what Tool Help lists for the same processes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/win32/win32_system.h"
#include "system/system_context.h"
#include "waiting_child.h"

namespace {

using win32_test::WaitingChild;

struct ModuleInfo {
  void* base;
  DWORD size;
  void* entry;
};

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using GetModuleInformationFn = BOOL(WINAPI*)(HANDLE, HMODULE, ModuleInfo*, DWORD);

template <typename Function>
Function Bind(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(::towlower(c));
  return s;
}

class OwnPsapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto system = platform::win32::CreateSystem();
    const auto image =
        system->resources().LoadResourceData(sys::kPsapiResourceType, sys::kPsapiResourceName);
    ASSERT_TRUE(image.has_value());
    image_ = *image;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"qrt-psapi-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\PSAPI.DLL";
    HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, image->data(), static_cast<DWORD>(image->size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_EQ(written, image->size());

    library_ = ::LoadLibraryW(path_.c_str());
    ASSERT_NE(library_, nullptr);
    enumProcesses_ = Bind<EnumProcessesFn>(library_, "EnumProcesses");
    enumModules_ = Bind<EnumProcessModulesFn>(library_, "EnumProcessModules");
    baseName_ = Bind<GetNameFn>(library_, "GetModuleBaseNameW");
    fileName_ = Bind<GetNameFn>(library_, "GetModuleFileNameExW");
    information_ = Bind<GetModuleInformationFn>(library_, "GetModuleInformation");
    ASSERT_TRUE(enumProcesses_ && enumModules_ && baseName_ && fileName_ && information_);
  }

  void TearDown() override {
    if (library_ != nullptr) ::FreeLibrary(library_);
    ::DeleteFileW(path_.c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }

  std::vector<HMODULE> Modules(HANDLE process) {
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!enumModules_(process, modules.data(), 1024 * sizeof(HMODULE), &needed)) return {};
    modules.resize(std::min<DWORD>(needed / sizeof(HMODULE), 1024));
    return modules;
  }

  std::vector<std::uint8_t> image_;
  std::wstring folder_;
  std::wstring path_;
  HMODULE library_ = nullptr;
  EnumProcessesFn enumProcesses_ = nullptr;
  EnumProcessModulesFn enumModules_ = nullptr;
  GetNameFn baseName_ = nullptr;
  GetNameFn fileName_ = nullptr;
  GetModuleInformationFn information_ = nullptr;
};

TEST_F(OwnPsapiTest, LoadedLibraryIsTheFileWeWrote) {
  // Wine may load its built-in library under our path; the headers mapped at
  // the module's base show whose image it really is.
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image_.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image_.data() + dos->e_lfanew);
  const DWORD headers = nt->OptionalHeader.SizeOfHeaders;
  ASSERT_LE(headers, image_.size());
  EXPECT_EQ(std::memcmp(library_, image_.data(), headers), 0);
  for (const void* function : {reinterpret_cast<const void*>(enumProcesses_),
                               reinterpret_cast<const void*>(information_)}) {
    const auto* address = static_cast<const BYTE*>(function);
    EXPECT_GE(address, reinterpret_cast<const BYTE*>(library_));
    EXPECT_LT(address, reinterpret_cast<const BYTE*>(library_) + nt->OptionalHeader.SizeOfImage);
  }
}

TEST_F(OwnPsapiTest, ListsThisProcessAndAChild) {
  WaitingChild child;
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  ASSERT_TRUE(enumProcesses_(ids.data(), 4096 * sizeof(DWORD), &bytes));
  ids.resize(bytes / sizeof(DWORD));
  EXPECT_NE(std::find(ids.begin(), ids.end(), ::GetCurrentProcessId()), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), child.id()), ids.end());

  // Too small an array takes what fits and says how much it holds.
  DWORD one = 0;
  ASSERT_TRUE(enumProcesses_(&one, sizeof one, &bytes));
  EXPECT_EQ(bytes, sizeof(DWORD));

  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child.id());
  ASSERT_NE(process, nullptr);
  const auto modules = Modules(process);
  ASSERT_FALSE(modules.empty());
  wchar_t name[MAX_PATH] = {};
  EXPECT_GT(baseName_(process, modules[0], name, MAX_PATH), 0u);
  EXPECT_EQ(Lower(name), L"cmd.exe");
  ::CloseHandle(process);
}

TEST_F(OwnPsapiTest, ModulesMatchToolHelp) {
  std::map<void*, MODULEENTRY32W> expected;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot, &entry); more;
       more = ::Module32NextW(snapshot, &entry)) {
    expected[entry.modBaseAddr] = entry;
  }
  ::CloseHandle(snapshot);

  HANDLE self =
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ::GetCurrentProcessId());
  const auto modules = Modules(self);
  ASSERT_EQ(modules.size(), expected.size());
  for (HMODULE module : modules) {
    const auto it = expected.find(module);
    ASSERT_NE(it, expected.end());
    wchar_t path[MAX_PATH] = {};
    EXPECT_GT(fileName_(self, module, path, MAX_PATH), 0u);
    EXPECT_EQ(Lower(path), Lower(it->second.szExePath));
    ModuleInfo info{};
    ASSERT_TRUE(information_(self, module, &info, sizeof info));
    EXPECT_EQ(info.base, it->second.modBaseAddr);
    EXPECT_EQ(info.size, it->second.modBaseSize);
  }

  // The program's own module when no module is named; names are cut to fit
  // and always end with a zero.
  wchar_t name[MAX_PATH] = {};
  EXPECT_EQ(baseName_(self, nullptr, name, MAX_PATH), 19u);
  EXPECT_EQ(Lower(name), L"qrt_win32_tests.exe");
  wchar_t shortName[4] = {};
  EXPECT_EQ(baseName_(self, nullptr, shortName, 4), 3u);
  EXPECT_EQ(std::wstring(shortName), L"qrt");
  ::CloseHandle(self);
}

TEST_F(OwnPsapiTest, FailuresAreReported) {
  DWORD needed = 0;
  HMODULE modules[4];
  EXPECT_FALSE(enumModules_(nullptr, modules, sizeof modules, &needed));
  HANDLE self = ::GetCurrentProcess();
  wchar_t name[MAX_PATH] = {};
  EXPECT_EQ(baseName_(self, reinterpret_cast<HMODULE>(0x12340000), name, MAX_PATH), 0u);
  ModuleInfo info{};
  EXPECT_FALSE(information_(self, nullptr, &info, sizeof info - 1));
}

}  // namespace
