#include "platform/win32/process_binding.h"

#include <algorithm>
#include <string>

#include "platform/win32/windows_api.h"
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
using BackupReadProc = BOOL(WINAPI*)(HANDLE, LPBYTE, DWORD, LPDWORD, BOOL, BOOL, LPVOID*);
using BackupSeekProc = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, LPDWORD, LPDWORD, LPVOID*);

// GetProcAddress typed as `Proc`, or nullptr.
template <typename Proc>
Proc Lookup(Handle library, std::string_view name) {
  if (library == 0) return nullptr;
  const std::string n(name);
  const FARPROC proc = ::GetProcAddress(FromHandle<HINSTANCE__>(library), n.c_str());
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

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

}  // namespace

CreateToolhelp32SnapshotFunction BindCreateToolhelp32SnapshotIn(Handle library) {
  const auto proc = Lookup<SnapshotProc>(library, "CreateToolhelp32Snapshot");
  if (proc == nullptr) return {};
  return [proc](std::uint32_t flags, std::uint32_t processId) -> Handle {
    HANDLE snapshot = proc(flags, processId);
    return snapshot == INVALID_HANDLE_VALUE ? 0 : ToHandle(snapshot);
  };
}

ProcessWalkAnsiFunction BindProcessWalkAnsiIn(Handle library, std::string_view exportName) {
  const auto proc = Lookup<ProcessWalkAProc>(library, exportName);
  if (proc == nullptr) return {};
  return [proc](Handle snapshot) -> std::optional<ProcessEntry<std::string>> {
    ProcessEntryA entry{};
    entry.dwSize = sizeof entry;
    if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
    return ProcessEntry<std::string>{entry.th32ProcessID, UpToZero(entry.szExeFile)};
  };
}

ProcessWalkWideFunction BindProcessWalkWideIn(Handle library, std::string_view exportName) {
  const auto proc = Lookup<ProcessWalkWProc>(library, exportName);
  if (proc == nullptr) return {};
  return [proc](Handle snapshot) -> std::optional<ProcessEntry<std::u16string>> {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!proc(FromHandle<void>(snapshot), &entry)) return std::nullopt;
    return ProcessEntry<std::u16string>{entry.th32ProcessID,
                                        WideUpToZero(entry.szExeFile, MAX_PATH)};
  };
}

ModuleWalkAnsiFunction BindModuleWalkAnsiIn(Handle library, std::string_view exportName) {
  const auto proc = Lookup<ModuleWalkAProc>(library, exportName);
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

ModuleWalkWideFunction BindModuleWalkWideIn(Handle library, std::string_view exportName) {
  const auto proc = Lookup<ModuleWalkWProc>(library, exportName);
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

EnumProcessesFunction BindEnumProcessesIn(Handle library) {
  const auto proc = Lookup<EnumProcessesProc>(library, "EnumProcesses");
  if (proc == nullptr) return {};
  return [proc](std::uint32_t arrayBytes) -> std::optional<std::vector<std::uint32_t>> {
    std::vector<DWORD> ids(arrayBytes / sizeof(DWORD) + 1);
    DWORD returned = 0;
    if (!proc(ids.data(), arrayBytes, &returned)) return std::nullopt;
    ids.resize(std::min<std::size_t>(returned, arrayBytes) / sizeof(DWORD));
    return std::vector<std::uint32_t>(ids.begin(), ids.end());
  };
}

EnumProcessModulesFunction BindEnumProcessModulesIn(Handle library) {
  const auto proc = Lookup<EnumProcessModulesProc>(library, "EnumProcessModules");
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

ModuleNameFunction BindModuleNameIn(Handle library, std::string_view exportName) {
  const auto proc = Lookup<ModuleNameProc>(library, exportName);
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

GetModuleInformationFunction BindGetModuleInformationIn(Handle library) {
  const auto proc = Lookup<ModuleInformationProc>(library, "GetModuleInformation");
  if (proc == nullptr) return {};
  return [proc](Handle process, Handle module) -> std::optional<ModuleInformation> {
    ModuleInfo info{};
    if (!proc(FromHandle<void>(process), FromHandle<HINSTANCE__>(module), &info, sizeof info)) {
      return std::nullopt;
    }
    return ModuleInformation{Address(info.base), info.size, Address(info.entry)};
  };
}

BackupReadFunction BindBackupReadIn(Handle module) {
  const auto proc = Lookup<BackupReadProc>(module, "BackupRead");
  if (proc == nullptr) return {};
  return [proc](Handle file, std::span<std::uint8_t> buffer, bool abort, bool processSecurity,
                std::uint64_t& context) -> std::optional<std::uint32_t> {
    void* state = FromHandle<void>(context);
    DWORD read = 0;
    const BOOL ok = proc(FromHandle<void>(file), buffer.data(), static_cast<DWORD>(buffer.size()),
                         &read, abort ? TRUE : FALSE, processSecurity ? TRUE : FALSE, &state);
    context = ToHandle(state);
    if (!ok) return std::nullopt;
    return read;
  };
}

BackupSeekFunction BindBackupSeekIn(Handle module) {
  const auto proc = Lookup<BackupSeekProc>(module, "BackupSeek");
  if (proc == nullptr) return {};
  return [proc](Handle file, std::uint64_t distance, std::uint64_t& context) {
    void* state = FromHandle<void>(context);
    DWORD low = 0;
    DWORD high = 0;
    const BOOL ok = proc(FromHandle<void>(file), static_cast<DWORD>(distance & 0xFFFFFFFF),
                         static_cast<DWORD>(distance >> 32), &low, &high, &state);
    context = ToHandle(state);
    return BackupSeekResult{ok != FALSE, (static_cast<std::uint64_t>(high) << 32) | low};
  };
}

Handle OpenProcessWith(std::uint32_t access, std::uint32_t processId) {
  return ToHandle(::OpenProcess(access, FALSE, processId));
}

Handle OpenOwnProcessToken(std::uint32_t access) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), access, &token)) return 0;
  return ToHandle(token);
}

std::optional<std::uint64_t> LookupPrivilege(std::u16string_view name) {
  const std::u16string n(name);
  LUID luid{};
  if (!::LookupPrivilegeValueW(nullptr, Wide(n), &luid)) return std::nullopt;
  return (static_cast<std::uint64_t>(static_cast<DWORD>(luid.HighPart)) << 32) | luid.LowPart;
}

AdjustPrivilegesResult AdjustPrivilege(Handle token, std::uint64_t privilege,
                                       std::uint32_t attributes) {
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

Handle ModuleHandleOf(std::u16string_view name) {
  const std::u16string n(name);
  return ToHandle(::GetModuleHandleW(Wide(n)));
}

}  // namespace platform::win32
