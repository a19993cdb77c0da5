// Processes and modules: Tool Help and the Process Status Helper (bound at
// run time); opening, reading, lowering and terminating processes; and the
// program's user, token, privileges and group membership.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// Tool Help snapshot kinds of CreateToolhelp32Snapshot.
inline constexpr std::uint32_t kTh32csSnapProcess = 0x2;
inline constexpr std::uint32_t kTh32csSnapModule = 0x8;
// OpenProcess access rights. kProcessAllAccess is the value of the NT 4 to
// XP headers, which every later system accepts.
inline constexpr std::uint32_t kProcessTerminate = 0x1;
inline constexpr std::uint32_t kProcessVmRead = 0x10;
inline constexpr std::uint32_t kProcessSetInformation = 0x200;
inline constexpr std::uint32_t kProcessQueryInformation = 0x400;
inline constexpr std::uint32_t kSynchronize = 0x100000;
inline constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
// Priority classes of SetPriorityClass.
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
inline constexpr std::uint32_t kIdlePriorityClass = 0x40;
// OpenProcessToken access and privilege attributes.
inline constexpr std::uint32_t kTokenQuery = 0x8;
inline constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
inline constexpr std::uint32_t kSePrivilegeEnabled = 0x2;
// AdjustTokenPrivileges succeeded but could not enable every privilege.
inline constexpr std::uint32_t kErrorNotAllAssigned = 1300;

// A process entry of Process32First(W) and Process32Next(W): th32ProcessID
// and szExeFile up to its terminating zero. `Text` is std::u16string for the
// wide functions and std::string (ANSI code page) for the narrow ones.
template <typename Text>
struct ProcessEntry {
  std::uint32_t processId = 0;
  Text exeFile;
};
// A module entry of Module32First(W) and Module32Next(W): th32ProcessID,
// modBaseAddr, modBaseSize, hModule and szExePath.
template <typename Text>
struct ModuleEntry {
  std::uint32_t processId = 0;
  std::uint64_t baseAddress = 0;
  std::uint32_t baseSize = 0;
  Handle module = 0;
  Text exePath;
};

// CreateToolhelp32Snapshot(flags, process id): the snapshot (closed with
// CloseHandle), or 0 for INVALID_HANDLE_VALUE.
using CreateToolhelp32SnapshotFunction =
    std::function<Handle(std::uint32_t flags, std::uint32_t processId)>;
// One step of a Tool Help walk on `snapshot`, with an entry whose size field
// is the size of the platform's entry structure for the program's word size
// (PROCESSENTRY32W, MODULEENTRY32 ...): the entry, or nothing when the call
// answers FALSE.
using ProcessWalkWideFunction =
    std::function<std::optional<ProcessEntry<std::u16string>>(Handle snapshot)>;
using ProcessWalkAnsiFunction = std::function<std::optional<ProcessEntry<std::string>>(Handle)>;
using ModuleWalkWideFunction =
    std::function<std::optional<ModuleEntry<std::u16string>>(Handle snapshot)>;
using ModuleWalkAnsiFunction = std::function<std::optional<ModuleEntry<std::string>>(Handle)>;

// GetModuleInformation's MODULEINFO.
struct ModuleInformation {
  std::uint64_t baseAddress = 0;
  std::uint32_t size = 0;
  std::uint64_t entryPoint = 0;
};
// EnumProcesses with an array of `arrayBytes` bytes: the process ids it
// returned (the bytes returned divided by 4), or nothing when it fails.
using EnumProcessesFunction =
    std::function<std::optional<std::vector<std::uint32_t>>(std::uint32_t arrayBytes)>;
// EnumProcessModules of `process` with an array of `maxModules` module
// handles (4 bytes each in a 32-bit program, 8 in a 64-bit one): the handles
// returned, at most `maxModules`, or nothing when it fails.
using EnumProcessModulesFunction =
    std::function<std::optional<std::vector<Handle>>(Handle process, std::uint32_t maxModules)>;
// GetModuleBaseNameW and GetModuleFileNameExW with a buffer of `maxChars`
// characters: the name, or nothing when the call answers 0.
using ModuleNameFunction = std::function<std::optional<std::u16string>(
    Handle process, Handle module, std::uint32_t maxChars)>;
// GetModuleInformation: the MODULEINFO, or nothing when it fails.
using GetModuleInformationFunction =
    std::function<std::optional<ModuleInformation>(Handle process, Handle module)>;

// What WaitForSingleObject answers on a process: it has ended, it still runs
// when the time is up, or the handle cannot be waited for.
enum class ProcessWait { kEnded, kTimedOut, kFailed };
// A wait without time limit (INFINITE).
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// AdjustTokenPrivileges' answer and the last error right after it (which
// tells kErrorNotAllAssigned from a full success).
struct AdjustPrivilegesResult {
  bool succeeded = false;
  std::uint32_t lastError = 0;
};

// A security identifier made by AllocateAndInitializeSid and freed with
// FreeSid; 0 stands for none.
using Sid = std::uint64_t;
// SID_IDENTIFIER_AUTHORITY: six bytes, the most significant first.
using SidAuthority = std::array<std::uint8_t, 6>;
// AllocateAndInitializeSid with the authority and up to eight
// sub-authorities (the count passed is their number): the SID, or 0 when the
// call fails or there are more than eight.
using AllocateAndInitializeSidFunction = std::function<Sid(
    const SidAuthority& authority, std::span<const std::uint32_t> subAuthorities)>;
// FreeSid.
using FreeSidFunction = std::function<void(Sid sid)>;
// CheckTokenMembership(token, sid): whether `sid` is an enabled group of the
// token, or nothing when the call fails. Token 0 stands for the token of the
// calling thread (its impersonation token, else the process's own); any other
// token must be an impersonation token.
using CheckTokenMembershipFunction = std::function<std::optional<bool>(Handle token, Sid sid)>;

class Processes {
 public:
  virtual ~Processes() = default;

  // --- The enumeration functions, bound at run time ---

  // GetProcAddress in `library` (a handle of LoadLibraryWide) of the Tool
  // Help function `exportName`: "CreateToolhelp32Snapshot"; "Process32First"
  // and "Process32Next" (narrow), "Process32FirstW" and "Process32NextW"
  // (wide); "Module32First", "Module32Next", "Module32FirstW",
  // "Module32NextW". An empty function when the library lacks it. A callable
  // is valid while the library stays loaded.
  virtual CreateToolhelp32SnapshotFunction BindCreateToolhelp32Snapshot(Handle library) = 0;
  virtual ProcessWalkAnsiFunction BindProcessWalkAnsi(Handle library,
                                                      std::string_view exportName) = 0;
  virtual ProcessWalkWideFunction BindProcessWalkWide(Handle library,
                                                      std::string_view exportName) = 0;
  virtual ModuleWalkAnsiFunction BindModuleWalkAnsi(Handle library,
                                                    std::string_view exportName) = 0;
  virtual ModuleWalkWideFunction BindModuleWalkWide(Handle library,
                                                    std::string_view exportName) = 0;
  // GetProcAddress of the Process Status Helper functions "EnumProcesses",
  // "EnumProcessModules", "GetModuleBaseNameW" or "GetModuleFileNameExW"
  // (BindModuleName, by `exportName`) and "GetModuleInformation" in
  // `library`: an empty function when it lacks them.
  virtual EnumProcessesFunction BindEnumProcesses(Handle library) = 0;
  virtual EnumProcessModulesFunction BindEnumProcessModules(Handle library) = 0;
  virtual ModuleNameFunction BindModuleName(Handle library, std::string_view exportName) = 0;
  virtual GetModuleInformationFunction BindGetModuleInformation(Handle library) = 0;

  // --- Processes by handle ---

  // OpenProcess(access, FALSE, id): the process handle (closed with
  // CloseHandle), or 0.
  virtual Handle OpenProcess(std::uint32_t access, std::uint32_t processId) = 0;
  // SetPriorityClass of `process` (opened with PROCESS_SET_INFORMATION):
  // false when it is refused.
  virtual bool SetPriorityClass(Handle process, std::uint32_t priorityClass) = 0;
  // TerminateProcess(process, exitCode) (opened with PROCESS_TERMINATE):
  // false when it fails. The process ends some time after the call.
  virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
  // WaitForSingleObject(process, milliseconds) (opened with SYNCHRONIZE).
  virtual ProcessWait WaitForProcess(Handle process, std::uint32_t milliseconds) = 0;
  // ReadProcessMemory of `buffer.size()` bytes at `address` of `process`
  // (opened with PROCESS_VM_READ): the number of bytes read, or nothing when
  // the call fails (as it does when any of the bytes cannot be read).
  virtual std::optional<std::size_t> ReadProcessMemory(Handle process, std::uint64_t address,
                                                       std::span<std::uint8_t> buffer) = 0;

  // --- The program's own process, token, user and groups ---

  // GetCurrentProcessId: the id of the program's own process.
  virtual std::uint32_t GetCurrentProcessId() = 0;

  // OpenProcessToken of the program's own process (GetCurrentProcess) with
  // `access`: the token (closed with CloseHandle), or 0.
  virtual Handle OpenProcessToken(std::uint32_t access) = 0;
  // LookupPrivilegeValueW on the local system: the LUID (high part in the
  // upper 32 bits), or nothing when the name is unknown.
  virtual std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) = 0;
  // AdjustTokenPrivileges(token, FALSE, one privilege with `attributes`,
  // no previous state).
  virtual AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                                       std::uint32_t attributes) = 0;

  // GetUserNameW with a buffer of `maxChars` characters, the terminating
  // zero included: the name of the user the program runs as, or nothing when
  // the call fails (also when the name does not fit).
  virtual std::optional<std::u16string> GetUserNameWide(std::uint32_t maxChars) = 0;
  // GetProcAddress of "AllocateAndInitializeSid", "FreeSid" and
  // "CheckTokenMembership" in `library` (a handle of ADVAPI32.DLL): the
  // callable, or an empty function when the library lacks it (Windows NT 4
  // has no CheckTokenMembership). A callable is valid while the library stays
  // loaded.
  virtual AllocateAndInitializeSidFunction BindAllocateAndInitializeSid(Handle library) = 0;
  virtual FreeSidFunction BindFreeSid(Handle library) = 0;
  virtual CheckTokenMembershipFunction BindCheckTokenMembership(Handle library) = 0;
};

}  // namespace platform
