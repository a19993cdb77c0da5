// The Win32 processes: Tool Help and the Process Status Helper bound by name
// at run time; opening, lowering, terminating and waiting for processes; the
// program's user, token and privileges; the group membership functions,
// bound by name (Windows NT 4 has no CheckTokenMembership, and Windows 9x no
// security at all).
#include <algorithm>
#include <string>

#include "platform/win32/areas.h"
#include "platform/win32/binding.h"
#include "platform/win32/text_api.h"
// After <windows.h>, which it needs.
#include <tlhelp32.h>

namespace platform::win32 {
namespace {

// The narrow entry structures by their tag names: with UNICODE defined the
// plain names stand for the wide ones.
using ProcessEntryA = tagPROCESSENTRY32;
using ModuleEntryA = tagMODULEENTRY32;

// Every walk passes the size of the entry structure for the program's word
// size; in the 32-bit program the wide entries are 556 and 1064 bytes.
#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32W) == 556 && sizeof(MODULEENTRY32W) == 1064);
static_assert(sizeof(ProcessEntryA) == 296 && sizeof(ModuleEntryA) == 548);
#endif

struct ModuleInfo {  // MODULEINFO of psapi.h
  void* base;
  DWORD size;
  void* entry;
};

using SnapshotProc = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkAProc = BOOL(WINAPI*)(HANDLE, ProcessEntryA*);
using ProcessWalkWProc = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
using ModuleWalkAProc = BOOL(WINAPI*)(HANDLE, ModuleEntryA*);
using ModuleWalkWProc = BOOL(WINAPI*)(HANDLE, MODULEENTRY32W*);
using EnumProcessesProc = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesProc = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using ModuleNameProc = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using ModuleInformationProc = BOOL(WINAPI*)(HANDLE, HMODULE, ModuleInfo*, DWORD);
using AllocateAndInitializeSidProc = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD,
                                                   DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*);
using FreeSidProc = PVOID(WINAPI*)(PSID);
using CheckTokenMembershipProc = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);

std::uint64_t Address(const void* p) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

// A fixed character array up to its first zero (or its end).
template <typename Char, std::size_t N>
std::basic_string<Char> UpToZero(const Char (&text)[N]) {
  return std::basic_string<Char>(text, std::find(text, text + N, Char{}));
}

std::u16string WideUpToZero(const wchar_t* text, std::size_t n) {
  const wchar_t* end = std::find(text, text + n, L'\0');
  return FromWide(text, static_cast<std::size_t>(end - text));
}

class Win32Processes final : public Processes {
 public:
  CreateToolhelp32SnapshotFunction BindCreateToolhelp32Snapshot(Handle library) override {
    const auto proc = BindFunction<SnapshotProc>(library, "CreateToolhelp32Snapshot");
    if (proc == nullptr) return {};
    return [proc](std::uint32_t flags, std::uint32_t processId) -> Handle {
      HANDLE snapshot = proc(flags, processId);
      return snapshot == INVALID_HANDLE_VALUE ? 0 : ToHandle(snapshot);
    };
  }

  ProcessWalkAnsiFunction BindProcessWalkAnsi(Handle library,
                                              std::string_view exportName) override {
    const auto proc = BindFunction<ProcessWalkAProc>(library, exportName);
    if (proc == nullptr) return {};
    return [proc](Handle snapshot) -> std::optional<ProcessEntry<std::string>> {
      ProcessEntryA entry{};
      entry.dwSize = sizeof entry;
      if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
      return ProcessEntry<std::string>{entry.th32ProcessID, UpToZero(entry.szExeFile)};
    };
  }

  ProcessWalkWideFunction BindProcessWalkWide(Handle library,
                                              std::string_view exportName) override {
    const auto proc = BindFunction<ProcessWalkWProc>(library, exportName);
    if (proc == nullptr) return {};
    return [proc](Handle snapshot) -> std::optional<ProcessEntry<std::u16string>> {
      PROCESSENTRY32W entry{};
      entry.dwSize = sizeof entry;
      if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
      return ProcessEntry<std::u16string>{entry.th32ProcessID,
                                          WideUpToZero(entry.szExeFile, MAX_PATH)};
    };
  }

  ModuleWalkAnsiFunction BindModuleWalkAnsi(Handle library, std::string_view exportName) override {
    const auto proc = BindFunction<ModuleWalkAProc>(library, exportName);
    if (proc == nullptr) return {};
    return [proc](Handle snapshot) -> std::optional<ModuleEntry<std::string>> {
      ModuleEntryA entry{};
      entry.dwSize = sizeof entry;
      if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
      return ModuleEntry<std::string>{entry.th32ProcessID, Address(entry.modBaseAddr),
                                      entry.modBaseSize, ToHandle(entry.hModule),
                                      UpToZero(entry.szExePath)};
    };
  }

  ModuleWalkWideFunction BindModuleWalkWide(Handle library, std::string_view exportName) override {
    const auto proc = BindFunction<ModuleWalkWProc>(library, exportName);
    if (proc == nullptr) return {};
    return [proc](Handle snapshot) -> std::optional<ModuleEntry<std::u16string>> {
      MODULEENTRY32W entry{};
      entry.dwSize = sizeof entry;
      if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
      return ModuleEntry<std::u16string>{entry.th32ProcessID, Address(entry.modBaseAddr),
                                         entry.modBaseSize, ToHandle(entry.hModule),
                                         WideUpToZero(entry.szExePath, MAX_PATH)};
    };
  }

  EnumProcessesFunction BindEnumProcesses(Handle library) override {
    const auto proc = BindFunction<EnumProcessesProc>(library, "EnumProcesses");
    if (proc == nullptr) return {};
    return [proc](std::uint32_t arrayBytes) -> std::optional<std::vector<std::uint32_t>> {
      std::vector<DWORD> ids(arrayBytes / sizeof(DWORD) + 1);
      DWORD returned = 0;
      if (!proc(ids.data(), arrayBytes, &returned)) return std::nullopt;
      ids.resize(std::min<std::size_t>(returned, arrayBytes) / sizeof(DWORD));
      return std::vector<std::uint32_t>(ids.begin(), ids.end());
    };
  }

  EnumProcessModulesFunction BindEnumProcessModules(Handle library) override {
    const auto proc = BindFunction<EnumProcessModulesProc>(library, "EnumProcessModules");
    if (proc == nullptr) return {};
    return [proc](Handle process, std::uint32_t maxModules) -> std::optional<std::vector<Handle>> {
      std::vector<HMODULE> modules(std::max<std::uint32_t>(maxModules, 1));
      DWORD needed = 0;
      if (!proc(FromHandle<void>(process), modules.data(),
                static_cast<DWORD>(maxModules * sizeof(HMODULE)), &needed)) {
        return std::nullopt;
      }
      // `needed` counts all modules, also those that did not fit.
      std::vector<Handle> handles;
      const std::size_t count = std::min<std::size_t>(needed / sizeof(HMODULE), maxModules);
      for (std::size_t i = 0; i < count; ++i) handles.push_back(ToHandle(modules[i]));
      return handles;
    };
  }

  ModuleNameFunction BindModuleName(Handle library, std::string_view exportName) override {
    const auto proc = BindFunction<ModuleNameProc>(library, exportName);
    if (proc == nullptr) return {};
    return [proc](Handle process, Handle module,
                  std::uint32_t maxChars) -> std::optional<std::u16string> {
      // One character more than offered, so that the name always ends.
      std::wstring buffer(static_cast<std::size_t>(maxChars) + 1, L'\0');
      const DWORD n =
          proc(FromHandle<void>(process), FromHandle<HINSTANCE__>(module), buffer.data(), maxChars);
      if (n == 0) return std::nullopt;
      return WideUpToZero(buffer.data(), std::min<std::size_t>(n, maxChars));
    };
  }

  GetModuleInformationFunction BindGetModuleInformation(Handle library) override {
    const auto proc = BindFunction<ModuleInformationProc>(library, "GetModuleInformation");
    if (proc == nullptr) return {};
    return [proc](Handle process, Handle module) -> std::optional<ModuleInformation> {
      ModuleInfo info{};
      if (!proc(FromHandle<void>(process), FromHandle<HINSTANCE__>(module), &info, sizeof info)) {
        return std::nullopt;
      }
      return ModuleInformation{Address(info.base), info.size, Address(info.entry)};
    };
  }

  Handle OpenProcess(std::uint32_t access, std::uint32_t processId) override {
    return ToHandle(::OpenProcess(access, FALSE, processId));
  }

  bool SetPriorityClass(Handle process, std::uint32_t priorityClass) override {
    return ::SetPriorityClass(FromHandle<void>(process), priorityClass) != FALSE;
  }

  bool TerminateProcess(Handle process, std::uint32_t exitCode) override {
    return ::TerminateProcess(FromHandle<void>(process), exitCode) != FALSE;
  }

  ProcessWait WaitForProcess(Handle process, std::uint32_t milliseconds) override {
    switch (::WaitForSingleObject(FromHandle<void>(process), milliseconds)) {
      case WAIT_OBJECT_0:
        return ProcessWait::kEnded;
      case WAIT_TIMEOUT:
        return ProcessWait::kTimedOut;
      default:
        return ProcessWait::kFailed;
    }
  }

  std::optional<std::size_t> ReadProcessMemory(Handle process, std::uint64_t address,
                                               std::span<std::uint8_t> buffer) override {
    SIZE_T read = 0;
    if (!::ReadProcessMemory(FromHandle<void>(process),
                             reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                             buffer.data(), buffer.size(), &read)) {
      return std::nullopt;
    }
    return read;
  }

  std::uint32_t GetCurrentProcessId() override { return ::GetCurrentProcessId(); }

  Handle OpenProcessToken(std::uint32_t access) override {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), access, &token)) return 0;
    return ToHandle(token);
  }

  std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) override {
    const std::u16string n(name);
    LUID luid{};
    if (!api::LookupPrivilegeValueW(nullptr, Wide(n), &luid)) return std::nullopt;
    return (static_cast<std::uint64_t>(static_cast<DWORD>(luid.HighPart)) << 32) | luid.LowPart;
  }

  AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                               std::uint32_t attributes) override {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(privilege & 0xFFFFFFFF);
    privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(privilege >> 32);
    privileges.Privileges[0].Attributes = attributes;
    ::SetLastError(NO_ERROR);
    const BOOL ok =
        ::AdjustTokenPrivileges(FromHandle<void>(token), FALSE, &privileges, 0, nullptr, nullptr);
    return AdjustPrivilegesResult{ok != FALSE, ::GetLastError()};
  }

  std::optional<std::u16string> GetUserNameWide(std::uint32_t maxChars) override {
    if (maxChars == 0) return std::nullopt;
    std::wstring buffer(maxChars, L'\0');
    DWORD size = maxChars;
    if (!api::GetUserNameW(buffer.data(), &size)) return std::nullopt;
    return WideUpToZero(buffer.data(), buffer.size());
  }

  AllocateAndInitializeSidFunction BindAllocateAndInitializeSid(Handle library) override {
    const auto proc =
        BindFunction<AllocateAndInitializeSidProc>(library, "AllocateAndInitializeSid");
    if (proc == nullptr) return {};
    return [proc](const SidAuthority& authority,
                  std::span<const std::uint32_t> subAuthorities) -> Sid {
      if (subAuthorities.size() > 8) return 0;
      SID_IDENTIFIER_AUTHORITY a{};
      std::copy(authority.begin(), authority.end(), a.Value);
      DWORD s[8] = {};
      std::copy(subAuthorities.begin(), subAuthorities.end(), s);
      PSID sid = nullptr;
      if (!proc(&a, static_cast<BYTE>(subAuthorities.size()), s[0], s[1], s[2], s[3], s[4], s[5],
                s[6], s[7], &sid)) {
        return 0;
      }
      return ToHandle(sid);
    };
  }

  FreeSidFunction BindFreeSid(Handle library) override {
    const auto proc = BindFunction<FreeSidProc>(library, "FreeSid");
    if (proc == nullptr) return {};
    return [proc](Sid sid) {
      if (sid != 0) proc(FromHandle<void>(sid));
    };
  }

  CheckTokenMembershipFunction BindCheckTokenMembership(Handle library) override {
    const auto proc = BindFunction<CheckTokenMembershipProc>(library, "CheckTokenMembership");
    if (proc == nullptr) return {};
    return [proc](Handle token, Sid sid) -> std::optional<bool> {
      BOOL member = FALSE;
      if (!proc(FromHandle<void>(token), FromHandle<void>(sid), &member)) return std::nullopt;
      return member != FALSE;
    };
  }
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace platform::win32
