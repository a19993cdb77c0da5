// Process and module enumeration over the two function sets Windows offers:
// Tool Help (KERNEL32.DLL on Windows 9x/ME and 2000/XP; narrow functions
// with names in the ANSI code page on 9x, wide ones elsewhere) and the
// Process Status Helper (PSAPI.DLL, on Windows NT 4).
//
// The system context binds one set at start-up; the memory scanner copies it
// and walks with the copy:
//   OpenProcessList, FirstProcess, NextProcess until false, CloseProcessList;
//   per process OpenModuleList, FirstModule, NextModule until false,
//   CloseModuleList.
// Lists live for one walk each, on the scan thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/limits.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace sys {

// OpenProcess access for the Process Status Helper walk.
inline constexpr std::uint32_t kProcessReadAccess =
    platform::kProcessQueryInformation | platform::kProcessVmRead;

// The bound enumeration functions of one set, with what the walk needs to
// know about the system. Copyable: the memory scanner keeps its own copy.
struct EnumerationSet {
  // The system the functions belong to (OpenProcess, CloseHandle, AnsiToWide).
  platform::System* system = nullptr;
  // All five functions of the chosen set were found.
  bool bound = false;
  // The Process Status Helper set (Windows NT 4); else Tool Help.
  bool usesPsapi = false;
  // Tool Help with the narrow functions (Windows 9x).
  bool narrow = false;

  // Process Status Helper, in binding order.
  platform::EnumProcessesFunction enumProcesses;
  platform::EnumProcessModulesFunction enumProcessModules;
  platform::ModuleNameFunction getModuleBaseName;
  platform::ModuleNameFunction getModuleFileNameEx;
  platform::GetModuleInformationFunction getModuleInformation;

  // Tool Help, in binding order; the narrow or the wide walks are set.
  platform::CreateToolhelp32SnapshotFunction createSnapshot;
  platform::ProcessWalkAnsiFunction process32First;
  platform::ProcessWalkAnsiFunction process32Next;
  platform::ModuleWalkAnsiFunction module32First;
  platform::ModuleWalkAnsiFunction module32Next;
  platform::ProcessWalkWideFunction process32FirstW;
  platform::ProcessWalkWideFunction process32NextW;
  platform::ModuleWalkWideFunction module32FirstW;
  platform::ModuleWalkWideFunction module32NextW;
};

// One running process.
struct RunningProcess {
  std::uint32_t processId = 0;
  // On NT 4 the base name of the process's first module (explorer.exe);
  // with Tool Help its szExeFile: a full path on Windows 9x, the file name on
  // Windows 2000/XP. At most 259 characters.
  std::u16string name;
};

// One module of a process.
struct ModuleRecord {
  platform::Handle module = 0;
  std::u16string path;  // full path, at most 259 characters
  std::uint32_t processId = 0;
  std::uint64_t baseAddress = 0;
  std::uint32_t size = 0;
};

// A walk over the processes: the ids of EnumProcesses and the next position
// (NT 4), or a Tool Help snapshot. Destroying it closes the snapshot.
struct ProcessList {
  explicit ProcessList(const EnumerationSet& walkSet) : set(walkSet) {}
  ProcessList(const ProcessList&) = delete;
  ProcessList& operator=(const ProcessList&) = delete;

  const EnumerationSet& set;
  platform::ScopedHandle snapshot;
  std::vector<std::uint32_t> ids;
  std::size_t position = 0;
};

// A walk over one process's modules: the process id and, on NT 4, its module
// handles and the next position; else a Tool Help snapshot.
struct ModuleList {
  explicit ModuleList(const EnumerationSet& walkSet) : set(walkSet) {}
  ModuleList(const ModuleList&) = delete;
  ModuleList& operator=(const ModuleList&) = delete;

  const EnumerationSet& set;
  std::uint32_t processId = 0;
  platform::ScopedHandle snapshot;
  std::vector<platform::Handle> modules;
  std::size_t position = 0;
};

// A new process list, or none (set not bound, EnumProcesses failed, no
// snapshot). `set` must outlive the list.
std::unique_ptr<ProcessList> OpenProcessList(const EnumerationSet& set);
// Fill `record` with the first or the next process; false at the end or on
// failure, leaving `record` as it was.
//
// On NT 4 a process is read by opening it (query information and read
// memory), listing its modules and reading the first module's base name. A
// process that cannot be read this way (the idle and system processes, a
// process of another user, one that just ended) is skipped and the walk goes
// on with the next id, in FirstProcess as in NextProcess: otherwise the
// first id, the idle process, would end every walk before it began.
bool FirstProcess(ProcessList& list, RunningProcess& record);
bool NextProcess(ProcessList& list, RunningProcess& record);
void CloseProcessList(std::unique_ptr<ProcessList> list);

// A new module list of process `processId`, or none (the process cannot be
// opened or its modules listed on NT 4; no module snapshot with Tool Help).
std::unique_ptr<ModuleList> OpenModuleList(const EnumerationSet& set, std::uint32_t processId);
// Fill `record` with the first or the next module; false at the end or on
// failure.
//
// On NT 4 every step opens the process and lists its modules anew, and reads
// the module at the position of that fresh list. A module whose information
// or path cannot be read is skipped; a process that can no longer be opened
// or listed ends the walk.
bool FirstModule(ModuleList& list, ModuleRecord& record);
bool NextModule(ModuleList& list, ModuleRecord& record);
void CloseModuleList(std::unique_ptr<ModuleList> list);

// Enables SeDebugPrivilege in the program's own token: opens the token for
// adjusting privileges, looks the privilege up on the local system and
// enables it. Answers the result of AdjustTokenPrivileges (which is true also
// when the privilege is not held: the last error then says
// ERROR_NOT_ALL_ASSIGNED); false when the token cannot be opened or the
// privilege is unknown.
bool EnableDebugPrivilege(platform::System& system);

}  // namespace sys
