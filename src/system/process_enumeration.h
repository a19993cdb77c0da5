// Process and module enumeration, as interchangeable walkers over the three
// function sets Windows offers:
//   - the Process Status Helper (PSAPI.DLL, on Windows NT 4: the program's
//     own, which the system context writes out and loads);
//   - narrow Tool Help (KERNEL32.DLL on Windows 9x/ME, names in the ANSI code
//     page, widened here);
//   - wide Tool Help (KERNEL32.DLL on Windows 2000/XP and later).
//
// The system context binds the one walker of the running system at start-up
// and keeps it; whoever walks asks it for lists:
//   walker.OpenProcessList(), then list->Next(record) until false;
//   per process walker.OpenModuleList(id), then list->Next(record) until
//   false.
// A list closes what it holds (a Tool Help snapshot) when it goes. Lists live
// for one walk each, on the thread that opened them, and must not outlive
// their walker.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/system.h"

namespace sys {

// OpenProcess access for the Process Status Helper walk.
inline constexpr std::uint32_t kProcessReadAccess =
    platform::kProcessQueryInformation | platform::kProcessVmRead;

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

// A walk over the processes.
class ProcessList {
 public:
  virtual ~ProcessList() = default;
  // Fills `record` with the first process at the first call and with the
  // next one at every call after; false at the end or on failure, leaving
  // `record` as it was.
  //
  // On NT 4 a process is read by opening it (query information and read
  // memory), listing its modules and reading the first module's base name. A
  // process that cannot be read this way (the idle and system processes, a
  // process of another user, one that just ended) is skipped and the walk
  // goes on with the next id, at the first call as at the others: otherwise
  // the first id, the idle process, would end every walk before it began.
  // With narrow Tool Help a name that cannot be widened ends the walk.
  virtual bool Next(RunningProcess& record) = 0;
};

// A walk over the modules of one process.
class ModuleList {
 public:
  virtual ~ModuleList() = default;
  // Fills `record` with the first module at the first call and with the
  // next one at every call after; false at the end or on failure.
  //
  // On NT 4 every step opens the process and lists its modules anew, and
  // reads the module at the position of that fresh list. A module whose
  // information or path cannot be read is skipped; a process that can no
  // longer be opened or listed ends the walk.
  virtual bool Next(ModuleRecord& record) = 0;
};

// The process and module enumeration of one function set. Bound functions
// stay valid while the library they come from stays loaded.
class ProcessWalker {
 public:
  enum class Kind {
    kProcessStatusHelper,  // processes named by their first module's base name
    kNarrowToolHelp,       // processes named by their full path
    kWideToolHelp,         // processes named by their file name
  };

  virtual ~ProcessWalker() = default;
  virtual Kind kind() const = 0;
  // A new process list, or none (EnumProcesses failed, no snapshot).
  virtual std::unique_ptr<ProcessList> OpenProcessList() const = 0;
  // A new module list of process `processId`, or none (the process cannot
  // be opened or its modules listed on NT 4; no module snapshot with Tool
  // Help).
  virtual std::unique_ptr<ModuleList> OpenModuleList(std::uint32_t processId) const = 0;
};

// The walkers, bound from `library` (a handle of LoadLibraryWide: PSAPI.DLL,
// or KERNEL32.DLL for Tool Help), each function in the order listed: null
// when one of them is missing.
//   Process Status Helper: EnumProcesses, EnumProcessModules,
//     GetModuleBaseNameW, GetModuleFileNameExW, GetModuleInformation;
//   narrow Tool Help: CreateToolhelp32Snapshot, Process32First,
//     Process32Next, Module32First, Module32Next;
//   wide Tool Help: CreateToolhelp32Snapshot, Process32FirstW,
//     Process32NextW, Module32FirstW, Module32NextW.
std::unique_ptr<ProcessWalker> BindProcessStatusHelperWalker(platform::System& system,
                                                             platform::Handle library);
std::unique_ptr<ProcessWalker> BindNarrowToolHelpWalker(platform::System& system,
                                                        platform::Handle library);
std::unique_ptr<ProcessWalker> BindWideToolHelpWalker(platform::System& system,
                                                      platform::Handle library);

// Enables SeDebugPrivilege in the program's own token: opens the token for
// adjusting privileges, looks the privilege up on the local system and
// enables it. Answers the result of AdjustTokenPrivileges (which is true also
// when the privilege is not held: the last error then says
// ERROR_NOT_ALL_ASSIGNED); false when the token cannot be opened or the
// privilege is unknown.
bool EnableDebugPrivilege(platform::System& system);

}  // namespace sys
