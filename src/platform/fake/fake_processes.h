// Processes of the fake platform: the running processes with their modules,
// what Tool Help and the Process Status Helper answer about them, the
// program's own token, and the calls the program made.
//
// Tool Help is exported by KERNEL32.DLL, the Process Status Helper by a
// loaded library named PSAPI.DLL (a bare name among the loadable libraries,
// or a full path to a file of the fake file system), each function unless
// its name is among FakeSystem::missingFunctions. On Windows 2000/XP Tool
// Help names a process by the file name of its first module, on Windows 9x
// by that module's full path.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/processes.h"

namespace platform::fake {

struct FakeModule {
  std::u16string path;
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  // The module handle; 0 stands for the base address, as Windows has it.
  Handle handle = 0;
  std::uint64_t entryPoint = 0;
  // The image in memory, from the base on: ReadProcessMemory reads these
  // bytes and nothing past them.
  std::vector<std::uint8_t> image;
  // Ranges of the image (offset, length) that cannot be read, as pages
  // without access.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> unreadable;
  // GetModuleFileNameExW and GetModuleBaseNameW fail for it.
  bool pathUnreadable = false;

  Handle ModuleHandle() const { return handle != 0 ? handle : base; }
};

struct FakeProcess {
  std::uint32_t id = 0;
  // The first module is the program's own file.
  std::vector<FakeModule> modules;
  // Tool Help's szExeFile when it differs from what the family gives.
  std::optional<std::u16string> toolHelpName;
  // OpenProcess fails (as for the idle and system processes on NT), or
  // fails when asked for any of the rights in `deniedAccess`.
  bool refusesOpening = false;
  std::uint32_t deniedAccess = 0;
  // SetPriorityClass fails on it; TerminateProcess fails on it.
  bool refusesPriority = false;
  bool refusesTermination = false;
  // How long it takes to end after TerminateProcess, in milliseconds of the
  // clock (FakeSystem::tickCount); nothing: it never ends. With 0 it ends at
  // once; otherwise when a wait for it reaches that time, which the wait
  // moves the clock to (a wait that times out moves the clock by its whole
  // time). An ended process moves to FakeProcesses::ended.
  std::optional<std::uint32_t> endsAfter = 0;
  // Its priority class, and the exit code of the TerminateProcess that ends it.
  std::uint32_t priorityClass = kNormalPriorityClass;
  std::optional<std::uint32_t> exitCode;
  std::uint32_t endTick = 0;
  // EnumProcessModules fails on it.
  bool modulesUnlistable = false;
  // A Tool Help module snapshot of it cannot be taken.
  bool moduleSnapshotFails = false;
  // Every ReadProcessMemory of it that was asked: address and size.
  std::vector<std::pair<std::uint64_t, std::size_t>> reads;
};

// One AdjustTokenPrivileges call.
struct FakePrivilegeAdjustment {
  Handle token = 0;
  std::uint64_t privilege = 0;
  std::uint32_t attributes = 0;
};

struct FakeProcesses {
  std::vector<FakeProcess> processes;
  // GetCurrentProcessId: the program's own process. It is among `processes`
  // only when a test puts it there.
  std::uint32_t currentProcessId = 3210;
  // The processes that have ended, in the order they did.
  std::vector<FakeProcess> ended;
  // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS) fails.
  bool processSnapshotFails = false;
  // EnumProcesses fails.
  bool enumProcessesFails = false;

  // The program's token: OpenProcessToken fails; the privileges
  // LookupPrivilegeValueW knows (by name, compared without regard to case);
  // AdjustTokenPrivileges' answer and last error.
  bool tokenOpenFails = false;
  std::map<std::u16string, std::uint64_t> privileges = {{u"SeDebugPrivilege", 20},
                                                        {u"SeShutdownPrivilege", 19}};
  AdjustPrivilegesResult adjustAnswer{true, 0};
  // The privileges of the program's token that are enabled: those that an
  // adjustment of an open token enabled with the answer {true, 0}.
  std::set<std::uint64_t> enabledPrivileges;

  // What the program did.
  std::vector<std::uint32_t> openAccesses;     // OpenProcess, in order
  std::vector<std::uint32_t> openedProcesses;  // their ids
  std::vector<std::uint32_t> tokenAccesses;
  std::vector<std::u16string> lookedUpPrivileges;
  std::vector<FakePrivilegeAdjustment> adjustments;
  std::vector<std::uint32_t> snapshotFlags;  // CreateToolhelp32Snapshot, in order
  // Array sizes the program offered: EnumProcesses bytes, EnumProcessModules
  // handles, name buffer characters.
  std::vector<std::uint32_t> enumProcessesBytes;
  std::vector<std::uint32_t> enumModulesCounts;
  std::vector<std::uint32_t> nameBufferChars;
  // The time of every wait for a process, in milliseconds, in order.
  std::vector<std::uint32_t> processWaits;

  FakeProcess* Find(std::uint32_t id);
  // Moves process `id` to `ended`.
  void End(std::uint32_t id);
};

// The system's own early processes as each family runs and names them, with
// the ids they typically have:
//  - Windows 2000/XP (C:\WINDOWS\system32) and NT 4.0 (C:\WINNT\system32):
//    the session manager smss.exe, which the kernel starts by its NT path, so
//    that its image is named "\SystemRoot\System32\smss.exe"; the
//    client/server runtime csrss.exe and the logon process winlogon.exe,
//    which the session manager starts by NT paths of the DOS device space
//    ("\??\C:\WINDOWS\system32\csrss.exe"); the service control manager
//    services.exe and the local security authority lsass.exe, which the logon
//    process starts by ordinary paths. Tool Help's process entry holds the
//    file name alone, its module list (and the Process Status Helper's module
//    path) the name above.
//  - Windows 98 (C:\WINDOWS\SYSTEM): Tool Help names every process by its
//    full path, in capitals: the Win32 kernel's own process KERNEL32.DLL, the
//    message server MSGSRV32.EXE, which hosts the system's 16-bit side and
//    starts the shell, and the multiple provider router MPREXE.EXE (logon and
//    network providers); beside them the multimedia task host mmtask.tsk and
//    the shell EXPLORER.EXE in the Windows folder.
std::vector<FakeProcess> SystemProcessesXp();
std::vector<FakeProcess> SystemProcessesNt4();
std::vector<FakeProcess> SystemProcesses98();

// A process with modules at made-up addresses: the program at `exePath`
// (base 0x400000) and each of `dlls` 1 MB apart from 0x10000000.
FakeProcess MakeProcess(std::uint32_t id, std::u16string exePath,
                        const std::vector<std::u16string>& dlls = {});

}  // namespace platform::fake
