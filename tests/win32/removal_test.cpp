// The registry and process operations against the real system: the removal
// operations on the wide path and on the narrow one of Windows 9x/ME
// (forced), read back through the registry, and processes of our own host
// program found by name and terminated. The registry area's own rules are
// cases of tests/platform_cases, run under Wine by platform_cases_test.cpp.
//
// Runs only in a prefix of its own that run-scan-prefix.sh makes, with the
// host program copied beside it: the test writes start-up values under
// HKEY_LOCAL_MACHINE and every profile of HKEY_USERS, and ends processes. It
// touches only keys and values it made (named after its process id) and
// processes it started, and removes what it made.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/win32/text_api.h"
#include "platform/win32/win32_system.h"
#include "removal/registry_operations.h"
#include "removal/system_operations.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"
#include "tests/win32/sample_files.h"
#include "tests/win32/sample_host.h"

namespace {

namespace api = platform::win32::api;
using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr api::Family kBothPaths[] = {api::Family::kNt, api::Family::kWindows9x};

std::u16string U16(const std::wstring& s) { return {s.begin(), s.end()}; }

Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  text::AppendUtf16Le(bytes, text);
  return bytes;
}

// Takes the path of `family` in the text binding while it lives.
class OnPath {
 public:
  explicit OnPath(api::Family family) { api::ForceFamilyForTests(family); }
  ~OnPath() { api::ForceFamilyForTests(std::nullopt); }
  OnPath(const OnPath&) = delete;
  OnPath& operator=(const OnPath&) = delete;
};

// --- The registry as the test reads and writes it, directly ---

struct RawValue {
  DWORD type = 0;
  Bytes data;
};

std::optional<RawValue> ReadValue(HKEY root, const std::wstring& path, const std::wstring& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  RawValue value;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.data.resize(size);
    status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

// The data of a value; empty when it cannot be read.
Bytes DataOf(HKEY root, const std::wstring& path, const std::wstring& name) {
  const auto value = ReadValue(root, path, name);
  return value ? value->data : Bytes();
}

void WriteValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                const Bytes& data) {
  HKEY key = nullptr;
  ASSERT_EQ(
      ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(
      ::RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
      ERROR_SUCCESS);
  ::RegCloseKey(key);
}

void WriteString(HKEY root, const std::wstring& path, const std::wstring& name,
                 const std::wstring& text, DWORD type = REG_SZ) {
  WriteValue(root, path, name, type, Utf16(U16(text + L'\0')));
}

void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(key, name.c_str());
  ::RegCloseKey(key);
}

std::vector<std::wstring> SubkeysOf(HKEY root) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(name, length);
  }
}

// The keys of `path` below `root` that are missing, made now and deleted
// again, deepest first, when the object goes.
class MadePath {
 public:
  MadePath(HKEY root, const std::wstring& path) : root_(root) {
    std::size_t end = 0;
    do {
      end = path.find(L'\\', end + 1);
      const std::wstring part = path.substr(0, end);
      HKEY key = nullptr;
      DWORD disposition = 0;
      if (::RegCreateKeyExW(root, part.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
        return;
      }
      ::RegCloseKey(key);
      if (disposition == REG_CREATED_NEW_KEY) made_.push_back(part);
    } while (end != std::wstring::npos);
  }
  ~MadePath() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::RegDeleteKeyW(root_, it->c_str());
  }
  MadePath(const MadePath&) = delete;
  MadePath& operator=(const MadePath&) = delete;

 private:
  HKEY root_;
  std::vector<std::wstring> made_;
};

// A key of this test below HKEY_CURRENT_USER\Software, deleted with all it
// holds when the object goes.
class ScratchKey {
 public:
  explicit ScratchKey(const std::wstring& name) : path_(L"Software\\QRT-RemovalTest-" + name) {
    qrt_test::DeleteTree(HKEY_CURRENT_USER, path_);
  }
  ~ScratchKey() { qrt_test::DeleteTree(HKEY_CURRENT_USER, path_); }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::wstring& path() const { return path_; }
  std::u16string u16() const { return U16(path_); }

 private:
  std::wstring path_;
};

std::wstring Unique(api::Family family) {
  return std::to_wstring(::GetCurrentProcessId()) +
         (family == api::Family::kNt ? L"-wide" : L"-narrow");
}

// --- The removal operations over the real system ---

class RemovalTest : public ::testing::Test {
 protected:
  RemovalTest()
      : system_(platform::win32::CreateSystem()),
        context_(std::make_unique<sys::SystemContext>(*system_)),
        scan_(*context_, {}),
        operations_(*context_, scan_.statistics(), scan_.rebootRequired()) {}

  platform::Registry& registry() { return system_->registry(); }

  std::unique_ptr<platform::System> system_;
  std::unique_ptr<sys::SystemContext> context_;
  qrt_test::ScanContextStub scan_;
  removal::SystemRemovalOperations operations_;
};

TEST_F(RemovalTest, RunValuesGoUnderTheMachineAndEveryProfile) {
  for (const api::Family family : kBothPaths) {
    SCOPED_TRACE(family == api::Family::kNt ? "wide path" : "narrow path");
    OnPath path(family);
    const std::wstring unique = Unique(family);
    const std::wstring file = L"qrt-run-" + unique + L".exe";
    std::wstring upper = L"C:\\QRT\\" + file + L" /start";
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    const std::wstring mine = L"QRT-" + unique;

    // Every place: HKEY_LOCAL_MACHINE and each profile, each with a value
    // naming the file in capitals, one of type REG_EXPAND_SZ naming it, and
    // one naming another file.
    struct Place {
      HKEY root;
      std::wstring path;
    };
    std::vector<Place> places = {{HKEY_LOCAL_MACHINE, kRun}};
    const std::vector<std::wstring> profiles = SubkeysOf(HKEY_USERS);
    ASSERT_FALSE(profiles.empty());
    for (const std::wstring& profile : profiles) {
      std::printf("profile HKEY_USERS\\%s\n", text::ToUtf8(U16(profile)).c_str());
    }
    for (const std::wstring& profile : profiles) {
      places.push_back({HKEY_USERS, profile + L"\\" + kRun});
    }
    std::vector<std::unique_ptr<MadePath>> made;
    for (const Place& p : places) {
      made.push_back(std::make_unique<MadePath>(p.root, p.path));
      WriteString(p.root, p.path, mine, upper);
      WriteString(p.root, p.path, mine + L"-expand", upper, REG_EXPAND_SZ);
      WriteString(p.root, p.path, mine + L"-other", L"C:\\QRT\\other.exe");
    }

    scan_.statistics().registryChanged = 0;
    EXPECT_EQ(codes::ToInt(operations_.RemoveRunEntries(U16(file))), 1);
    EXPECT_EQ(scan_.statistics().registryChanged, 1u);
    for (const Place& p : places) {
      SCOPED_TRACE(std::string(p.root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKU\\") +
                   text::ToUtf8(U16(p.path)));
      EXPECT_FALSE(ReadValue(p.root, p.path, mine));
      EXPECT_TRUE(ReadValue(p.root, p.path, mine + L"-expand"));
      EXPECT_TRUE(ReadValue(p.root, p.path, mine + L"-other"));
      DeleteValue(p.root, p.path, mine + L"-expand");
      DeleteValue(p.root, p.path, mine + L"-other");
    }
  }
}

TEST_F(RemovalTest, KeysAndValuesAreChangedAsTheRegistryReadsThemBack) {
  for (const api::Family family : kBothPaths) {
    SCOPED_TRACE(family == api::Family::kNt ? "wide path" : "narrow path");
    OnPath path(family);
    const ScratchKey scratch(Unique(family));
    const std::u16string a = scratch.u16() + u"\\A";
    const std::u16string b = a + u"\\B";
    const std::wstring wa = scratch.path() + L"\\A";
    auto& ops = operations_;

    EXPECT_EQ(codes::ToInt(ops.AddRegistryKey(u"HKEY_CURRENT_USER", b)), 1);
    EXPECT_EQ(codes::ToInt(ops.AddRegistryKey(u"HKEY_CURRENT_USER", b)), 6);

    EXPECT_EQ(codes::ToInt(ops.AddRegistryValue(u"HKEY_CURRENT_USER", a, u"Text", std::nullopt,
                                                u"C:\\caf\u00e9.exe")),
              1);
    EXPECT_EQ(DataOf(HKEY_CURRENT_USER, wa, L"Text"),
              Utf16(std::u16string(u"C:\\caf\u00e9.exe") + u'\0'));
    EXPECT_EQ(
        codes::ToInt(ops.AddRegistryValue(u"HKEY_CURRENT_USER", a, u"TEXT", std::nullopt, u"x")),
        2);
    EXPECT_EQ(codes::ToInt(ops.AddRegistryValue(u"HKEY_CURRENT_USER", a, u"Flag", u"DWORD", u"1")),
              1);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, wa, L"Flag").value_or(RawValue{}).type,
              static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(
        codes::ToInt(ops.AddRegistryValue(u"HKEY_CURRENT_USER", a, u"Blob", u"BINARY", u"de ad")),
        1);
    EXPECT_EQ(DataOf(HKEY_CURRENT_USER, wa, L"Blob"), (Bytes{0xDE, 0xAD}));

    EXPECT_EQ(codes::ToInt(ops.ReplaceRegistryValue(u"HKEY_CURRENT_USER", a, u"Text",
                                                    u"c:\\CAF\u00c9.EXE", u"C:\\good.exe")),
              1);
    // The replacement is stored with its terminating zero on both paths.
    EXPECT_EQ(DataOf(HKEY_CURRENT_USER, wa, L"Text"),
              Utf16(std::u16string(u"C:\\good.exe") + u'\0'));
    EXPECT_EQ(codes::ToInt(ops.ReplaceRegistryValue(u"HKEY_CURRENT_USER", a, u"Flag", u"1", u"0")),
              1);
    EXPECT_EQ(DataOf(HKEY_CURRENT_USER, wa, L"Flag"), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(codes::ToInt(ops.ReplaceRegistryValue(u"HKEY_CURRENT_USER", a, u"Flag", u"1", u"0")),
              2);

    // The listing reads back what was written.
    const auto values = ops.EnumerateValues(u"HKEY_CURRENT_USER", a);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->size(), 3u);

    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryValue(u"HKEY_CURRENT_USER", a, u"Blob")), 1);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, wa, L"Blob"));
    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryValue(u"HKEY_CURRENT_USER", a, u"Blob")), 0);
    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryValue(u"HKEY_CURRENT_USER", a + u"\\Gone", u"x")), -1);

    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryKey(u"HKEY_CURRENT_USER", a)), 0);
    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryKey(u"HKEY_CURRENT_USER", b)), 1);
    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryKey(u"HKEY_CURRENT_USER", a)), 1);
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, wa.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(codes::ToInt(ops.RemoveRegistryKey(u"hkey_current_user", a)), 5);
  }
}

// --- Processes ---

std::wstring HostProgram() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"qrt_mem_host.exe";
}

TEST_F(RemovalTest, TwoProcessesFoundByNameInCapitalsAreEndedAndCounted) {
  win32_test::Host first(HostProgram(), 0, L"");
  win32_test::Host second(HostProgram(), 0, L"");
  ASSERT_EQ(first.failure(), "");
  ASSERT_EQ(second.failure(), "");

  std::vector<scan::ProcessRecord> list;
  operations_.FindProcessesByName(u"QRT_MEM_HOST.EXE", list);
  std::vector<std::uint32_t> ids;
  for (const auto& record : list) {
    EXPECT_EQ(record.name, u"QRT_MEM_HOST.EXE");
    ids.push_back(record.processId);
  }
  std::sort(ids.begin(), ids.end());
  std::vector<std::uint32_t> expected = {first.id(), second.id()};
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(ids, expected);

  EXPECT_EQ(operations_.TerminateProcesses(list),
            std::vector<codes::ProcessEndResult>(2, codes::ProcessEndResult::kEnded));
  EXPECT_EQ(scan_.statistics().terminatedProcesses, 2);
  for (const win32_test::Host* host : {&first, &second}) {
    EXPECT_EQ(::WaitForSingleObject(host->process(), 0), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(host->process(), &code);
    EXPECT_EQ(code, 0u);
  }
  list.clear();
  operations_.FindProcessesByName(u"qrt_mem_host.exe", list);
  EXPECT_TRUE(list.empty());
  // A process that cannot be opened is not counted.
  EXPECT_EQ(codes::ToInt(operations_.TerminateProcessById(0xFFFFFFF0u)), 0);
  EXPECT_EQ(scan_.statistics().terminatedProcesses, 2);
}

// Wine's own service control manager lies in the system folder as
// services.exe: it is left running, and so is this program; a program of ours
// carrying the same name in another folder is ended.
TEST_F(RemovalTest, TheSystemsServicesExeAndThisProgramAreLeftRunning) {
  const std::wstring folder = L"C:\\qrt-planted";
  const std::wstring planted = folder + L"\\services.exe";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW(HostProgram().c_str(), planted.c_str(), FALSE));
  {
    win32_test::Host host(planted, 0, L"");
    ASSERT_EQ(host.failure(), "");
    std::vector<scan::ProcessRecord> list;
    operations_.FindProcessesByName(u"services.exe", list);
    ASSERT_EQ(list.size(), 2u) << "Wine's services.exe and ours";
    const std::int32_t before = scan_.statistics().terminatedProcesses;
    const auto results = operations_.TerminateProcesses(list);
    ASSERT_EQ(results.size(), 2u);
    for (std::size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(results[i], list[i].processId == host.id() ? codes::ProcessEndResult::kEnded
                                                           : codes::ProcessEndResult::kProtected);
    }
    EXPECT_EQ(scan_.statistics().terminatedProcesses, before + 1);
    EXPECT_EQ(::WaitForSingleObject(host.process(), 0), WAIT_OBJECT_0);
    list.clear();
    operations_.FindProcessesByName(u"services.exe", list);
    EXPECT_EQ(list.size(), 1u) << "Wine's services.exe still runs";
    EXPECT_EQ(operations_.TerminateProcessById(::GetCurrentProcessId()),
              codes::ProcessEndResult::kProtected);
    EXPECT_EQ(scan_.statistics().terminatedProcesses, before + 1);
  }
  ::DeleteFileW(planted.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

TEST_F(RemovalTest, ThreadsAreWaitedForUpToSixtyFourAtOnce) {
  platform::Runtime& runtime = system_->runtime();
  std::vector<platform::Handle> threads;
  std::atomic<int> ran{0};
  for (int i = 0; i < 65; ++i) {
    threads.push_back(runtime.StartThread([&ran] {
      ::Sleep(20);
      ++ran;
    }));
    ASSERT_NE(threads.back(), 0u);
  }
  EXPECT_FALSE(runtime.WaitForThreads(threads));
  EXPECT_TRUE(runtime.WaitForThreads(std::span(threads).first(64)));
  EXPECT_TRUE(runtime.WaitForThread(threads.back()));
  EXPECT_EQ(ran.load(), 65);
  for (platform::Handle thread : threads) runtime.CloseHandle(thread);
}

}  // namespace
