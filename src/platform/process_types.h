// Types and values of the platform's operations on processes, modules,
// privileges and stream reading (see the "Processes and modules" block of
// platform::System).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// A kernel object or library handle; 0 stands for none.
using Handle = std::uint64_t;

// --- Processes and modules ---

// Tool Help snapshot kinds of CreateToolhelp32Snapshot.
inline constexpr std::uint32_t kTh32csSnapProcess = 0x2;
inline constexpr std::uint32_t kTh32csSnapModule = 0x8;
// OpenProcess access rights.
inline constexpr std::uint32_t kProcessVmRead = 0x10;
inline constexpr std::uint32_t kProcessQueryInformation = 0x400;
// OpenProcessToken access and privilege attributes.
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

// AdjustTokenPrivileges' answer and the last error right after it (which
// tells kErrorNotAllAssigned from a full success).
struct AdjustPrivilegesResult {
  bool succeeded = false;
  std::uint32_t lastError = 0;
};

// --- Stream reading (BackupRead, BackupSeek; bound at run time) ---

// BackupRead(file, buffer, bytes, &read, abort, processSecurity, &context):
// the number of bytes read into `buffer`, or nothing when it fails.
// `context` starts at 0 and is kept between the calls on one file; a last
// call with `abort` set releases it.
using BackupReadFunction = std::function<std::optional<std::uint32_t>(
    Handle file, std::span<std::uint8_t> buffer, bool abort, bool processSecurity,
    std::uint64_t& context)>;
// BackupSeek(file, low, high, &lowSeeked, &highSeeked, &context) over the
// current stream's data.
struct BackupSeekResult {
  bool succeeded = false;  // the whole distance was skipped
  std::uint64_t seeked = 0;
};
using BackupSeekFunction =
    std::function<BackupSeekResult(Handle file, std::uint64_t distance, std::uint64_t& context)>;

}  // namespace platform
