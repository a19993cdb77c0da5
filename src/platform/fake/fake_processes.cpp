// The processes of the fake platform: Tool Help, the Process Status Helper,
// OpenProcess and the program's token.
#include "platform/fake/fake_processes.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

constexpr char16_t kKernel32[] = u"KERNEL32.DLL";
constexpr char16_t kPsapi[] = u"PSAPI.DLL";
constexpr char16_t kAdvapi32[] = u"ADVAPI32.DLL";
// Process, token and snapshot handles lie apart from the others.
constexpr Handle kHandleBase = 0x50000;

std::u16string FileNameOf(std::u16string_view path) {
  const auto slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// `text` cut to fit a buffer of `maxChars` characters with its zero, as the
// system's name functions cut it.
std::u16string FitTo(std::u16string text, std::uint32_t maxChars) {
  if (maxChars == 0) return {};
  if (text.size() >= maxChars) text.resize(maxChars - 1);
  return text;
}

bool IsFirstStep(std::string_view exportName) {
  return exportName.find("First") != std::string_view::npos;
}

}  // namespace

FakeProcess* FakeProcesses::Find(std::uint32_t id) {
  for (FakeProcess& process : processes) {
    if (process.id == id) return &process;
  }
  return nullptr;
}

FakeProcess MakeProcess(std::uint32_t id, std::u16string exePath,
                        const std::vector<std::u16string>& dlls) {
  FakeProcess process;
  process.id = id;
  process.modules.push_back(FakeModule{std::move(exePath), 0x400000, 0x20000, 0, 0x401000, {}, {}});
  std::uint64_t base = 0x10000000;
  for (const std::u16string& dll : dlls) {
    process.modules.push_back(FakeModule{dll, base, 0x8000, 0, base + 0x1000, {}, {}});
    base += 0x100000;
  }
  return process;
}

std::vector<FakeProcess> SystemProcessesXp() {
  return {MakeProcess(368, u"\\SystemRoot\\System32\\smss.exe"),
          MakeProcess(592, u"\\??\\C:\\WINDOWS\\system32\\csrss.exe"),
          MakeProcess(616, u"\\??\\C:\\WINDOWS\\system32\\winlogon.exe"),
          MakeProcess(660, u"C:\\WINDOWS\\system32\\services.exe"),
          MakeProcess(672, u"C:\\WINDOWS\\system32\\lsass.exe")};
}

std::vector<FakeProcess> SystemProcessesNt4() {
  return {MakeProcess(20, u"\\SystemRoot\\System32\\smss.exe"),
          MakeProcess(24, u"\\??\\C:\\WINNT\\system32\\csrss.exe"),
          MakeProcess(34, u"\\??\\C:\\WINNT\\system32\\winlogon.exe"),
          MakeProcess(40, u"C:\\WINNT\\system32\\services.exe"),
          MakeProcess(43, u"C:\\WINNT\\system32\\lsass.exe")};
}

std::vector<FakeProcess> SystemProcesses98() {
  return {MakeProcess(0xFFFDA1C5, u"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL"),
          MakeProcess(0xFFFD6A2D, u"C:\\WINDOWS\\SYSTEM\\MSGSRV32.EXE"),
          MakeProcess(0xFFFD2F15, u"C:\\WINDOWS\\SYSTEM\\MPREXE.EXE"),
          MakeProcess(0xFFFCB3E9, u"C:\\WINDOWS\\SYSTEM\\mmtask.tsk"),
          MakeProcess(0xFFFC5C31, u"C:\\WINDOWS\\EXPLORER.EXE")};
}

// --- Handles ---

bool FakeProcessesArea::CloseObject(Handle handle) {
  return processHandles_.erase(handle) != 0 || tokens_.erase(handle) != 0 ||
         snapshots_.erase(handle) != 0;
}

FakeProcess* FakeProcessesArea::ProcessOf(Handle process, std::uint32_t neededAccess) {
  const auto it = processHandles_.find(process);
  if (it == processHandles_.end() || (it->second.access & neededAccess) != neededAccess) {
    return nullptr;
  }
  return system_.processTable.Find(it->second.id);
}

Handle FakeProcessesArea::OpenProcess(std::uint32_t access, std::uint32_t processId) {
  system_.processTable.openAccesses.push_back(access);
  system_.processTable.openedProcesses.push_back(processId);
  const FakeProcess* process = system_.processTable.Find(processId);
  if (process == nullptr || process->refusesOpening || (process->deniedAccess & access) != 0) {
    return 0;
  }
  const Handle handle = kHandleBase + system_.NextHandle();
  processHandles_[handle] = ProcessHandle{processId, access};
  return handle;
}

// --- Priority and termination ---

void FakeProcesses::End(std::uint32_t id) {
  const auto it = std::find_if(processes.begin(), processes.end(),
                               [id](const FakeProcess& process) { return process.id == id; });
  if (it == processes.end()) return;
  ended.push_back(std::move(*it));
  processes.erase(it);
}

bool FakeProcessesArea::SetPriorityClass(Handle process, std::uint32_t priorityClass) {
  FakeProcess* p = ProcessOf(process, kProcessSetInformation);
  if (p == nullptr || p->refusesPriority) return false;
  p->priorityClass = priorityClass;
  return true;
}

bool FakeProcessesArea::TerminateProcess(Handle process, std::uint32_t exitCode) {
  FakeProcess* p = ProcessOf(process, kProcessTerminate);
  if (p == nullptr || p->refusesTermination) return false;
  if (!p->exitCode) {
    p->exitCode = exitCode;
    p->endTick = system_.tickCount + p->endsAfter.value_or(0);
  }
  if (p->endsAfter == 0u) system_.processTable.End(p->id);
  return true;
}

ProcessWait FakeProcessesArea::WaitForProcess(Handle process, std::uint32_t milliseconds) {
  system_.processTable.processWaits.push_back(milliseconds);
  const auto it = processHandles_.find(process);
  if (it == processHandles_.end() || (it->second.access & kSynchronize) == 0) {
    return ProcessWait::kFailed;
  }
  const std::uint32_t id = it->second.id;
  const auto& ended = system_.processTable.ended;
  if (std::any_of(ended.begin(), ended.end(), [id](const FakeProcess& e) { return e.id == id; })) {
    return ProcessWait::kEnded;
  }
  FakeProcess* p = system_.processTable.Find(id);
  if (p == nullptr) return ProcessWait::kFailed;
  if (p->exitCode && p->endsAfter) {
    const std::uint32_t left = p->endTick - system_.tickCount;
    if (static_cast<std::int32_t>(left) <= 0 || left <= milliseconds) {
      if (static_cast<std::int32_t>(left) > 0) system_.tickCount = p->endTick;
      system_.processTable.End(id);
      return ProcessWait::kEnded;
    }
  }
  if (milliseconds == kInfinite) {
    throw std::logic_error("an endless wait for a process that does not end");
  }
  system_.tickCount += milliseconds;
  return ProcessWait::kTimedOut;
}

std::optional<std::size_t> FakeProcessesArea::ReadProcessMemory(Handle process,
                                                                std::uint64_t address,
                                                                std::span<std::uint8_t> buffer) {
  FakeProcess* p = ProcessOf(process);
  if (p == nullptr) return std::nullopt;
  p->reads.emplace_back(address, buffer.size());
  for (const FakeModule& module : p->modules) {
    if (address < module.base || address - module.base > module.image.size() ||
        buffer.size() > module.image.size() - (address - module.base)) {
      continue;
    }
    const std::uint64_t offset = address - module.base;
    for (const auto& [start, length] : module.unreadable) {
      if (offset < start + length && start < offset + buffer.size()) return std::nullopt;
    }
    std::copy_n(module.image.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                buffer.begin());
    return buffer.size();
  }
  return std::nullopt;
}

// --- Binding ---

std::optional<std::function<void()>> FakeProcessesArea::LibraryBinding(Handle library,
                                                                       std::u16string_view dll,
                                                                       std::string_view function) {
  const auto it = system_.libraries_.find(library);
  if (it == system_.libraries_.end() || !text::EqualsNoCase(FileNameOf(it->second), dll) ||
      system_.missingFunctions.count(std::string(function)) != 0) {
    return std::nullopt;
  }
  return [this, library, name = std::string(function)] {
    if (system_.libraries_.count(library) == 0) {
      throw std::logic_error(name + " called after its library was freed");
    }
  };
}

// --- Tool Help ---

CreateToolhelp32SnapshotFunction FakeProcessesArea::BindCreateToolhelp32Snapshot(Handle library) {
  auto loaded = LibraryBinding(library, kKernel32, "CreateToolhelp32Snapshot");
  if (!loaded) return {};
  return [this, loaded = *loaded](std::uint32_t flags, std::uint32_t processId) -> Handle {
    loaded();
    system_.processTable.snapshotFlags.push_back(flags);
    Snapshot snapshot;
    const bool ninetyX = system_.version && system_.version->platformId == kPlatformWin32Windows;
    if (flags == kTh32csSnapProcess) {
      if (system_.processTable.processSnapshotFails) return 0;
      for (const FakeProcess& process : system_.processTable.processes) {
        std::u16string name;
        if (process.toolHelpName) {
          name = *process.toolHelpName;
        } else if (!process.modules.empty()) {
          name = ninetyX ? process.modules[0].path : FileNameOf(process.modules[0].path);
        }
        snapshot.processes.push_back({process.id, FitTo(name, 260)});
      }
    } else if (flags == kTh32csSnapModule) {
      const FakeProcess* process = system_.processTable.Find(processId);
      if (process == nullptr || process->moduleSnapshotFails) return 0;
      for (const FakeModule& module : process->modules) {
        snapshot.modules.push_back({process->id, module.base, module.size, module.ModuleHandle(),
                                    FitTo(module.path, 260)});
      }
    } else {
      return 0;
    }
    const Handle handle = kHandleBase + system_.NextHandle();
    snapshots_[handle] = std::move(snapshot);
    return handle;
  };
}

template <typename Entry>
std::optional<Entry> FakeProcessesArea::Step(Handle snapshot, std::string_view exportName) {
  const auto it = snapshots_.find(snapshot);
  if (it == snapshots_.end()) return std::nullopt;
  Snapshot& s = it->second;
  if (IsFirstStep(exportName)) s.next = 0;
  if constexpr (std::is_same_v<Entry, ProcessEntry<std::u16string>>) {
    if (s.next >= s.processes.size()) return std::nullopt;
    return s.processes[s.next++];
  } else {
    if (s.next >= s.modules.size()) return std::nullopt;
    return s.modules[s.next++];
  }
}

ProcessWalkWideFunction FakeProcessesArea::BindProcessWalkWide(Handle library,
                                                               std::string_view exportName) {
  auto loaded = LibraryBinding(library, kKernel32, exportName);
  if (!loaded || exportName.back() != 'W') return {};
  return [this, loaded = *loaded, name = std::string(exportName)](Handle snapshot) {
    loaded();
    return Step<ProcessEntry<std::u16string>>(snapshot, name);
  };
}

ProcessWalkAnsiFunction FakeProcessesArea::BindProcessWalkAnsi(Handle library,
                                                               std::string_view exportName) {
  auto loaded = LibraryBinding(library, kKernel32, exportName);
  if (!loaded || exportName.back() == 'W') return {};
  return [this, loaded = *loaded, name = std::string(exportName)](
             Handle snapshot) -> std::optional<ProcessEntry<std::string>> {
    loaded();
    const auto entry = Step<ProcessEntry<std::u16string>>(snapshot, name);
    if (!entry) return std::nullopt;
    return ProcessEntry<std::string>{entry->processId,
                                     system_.runtime().WideToAnsi(entry->exeFile).value_or("")};
  };
}

ModuleWalkWideFunction FakeProcessesArea::BindModuleWalkWide(Handle library,
                                                             std::string_view exportName) {
  auto loaded = LibraryBinding(library, kKernel32, exportName);
  if (!loaded || exportName.back() != 'W') return {};
  return [this, loaded = *loaded, name = std::string(exportName)](Handle snapshot) {
    loaded();
    return Step<ModuleEntry<std::u16string>>(snapshot, name);
  };
}

ModuleWalkAnsiFunction FakeProcessesArea::BindModuleWalkAnsi(Handle library,
                                                             std::string_view exportName) {
  auto loaded = LibraryBinding(library, kKernel32, exportName);
  if (!loaded || exportName.back() == 'W') return {};
  return [this, loaded = *loaded, name = std::string(exportName)](
             Handle snapshot) -> std::optional<ModuleEntry<std::string>> {
    loaded();
    const auto entry = Step<ModuleEntry<std::u16string>>(snapshot, name);
    if (!entry) return std::nullopt;
    return ModuleEntry<std::string>{entry->processId, entry->baseAddress, entry->baseSize,
                                    entry->module,
                                    system_.runtime().WideToAnsi(entry->exePath).value_or("")};
  };
}

// --- Process Status Helper ---

EnumProcessesFunction FakeProcessesArea::BindEnumProcesses(Handle library) {
  auto loaded = LibraryBinding(library, kPsapi, "EnumProcesses");
  if (!loaded) return {};
  return [this,
          loaded = *loaded](std::uint32_t arrayBytes) -> std::optional<std::vector<std::uint32_t>> {
    loaded();
    system_.processTable.enumProcessesBytes.push_back(arrayBytes);
    if (system_.processTable.enumProcessesFails) return std::nullopt;
    std::vector<std::uint32_t> ids;
    for (const FakeProcess& process : system_.processTable.processes) {
      if (ids.size() >= arrayBytes / 4) break;
      ids.push_back(process.id);
    }
    return ids;
  };
}

EnumProcessModulesFunction FakeProcessesArea::BindEnumProcessModules(Handle library) {
  auto loaded = LibraryBinding(library, kPsapi, "EnumProcessModules");
  if (!loaded) return {};
  return [this, loaded = *loaded](Handle process,
                                  std::uint32_t maxModules) -> std::optional<std::vector<Handle>> {
    loaded();
    system_.processTable.enumModulesCounts.push_back(maxModules);
    const FakeProcess* p = ProcessOf(process);
    if (p == nullptr || p->modulesUnlistable) return std::nullopt;
    std::vector<Handle> handles;
    for (const FakeModule& module : p->modules) {
      if (handles.size() >= maxModules) break;
      handles.push_back(module.ModuleHandle());
    }
    return handles;
  };
}

ModuleNameFunction FakeProcessesArea::BindModuleName(Handle library, std::string_view exportName) {
  const bool baseName = exportName == "GetModuleBaseNameW";
  if (!baseName && exportName != "GetModuleFileNameExW") return {};
  auto loaded = LibraryBinding(library, kPsapi, exportName);
  if (!loaded) return {};
  return
      [this, loaded = *loaded, baseName](Handle process, Handle module,
                                         std::uint32_t maxChars) -> std::optional<std::u16string> {
        loaded();
        system_.processTable.nameBufferChars.push_back(maxChars);
        const FakeProcess* p = ProcessOf(process);
        if (p == nullptr) return std::nullopt;
        for (const FakeModule& m : p->modules) {
          if (m.ModuleHandle() != module) continue;
          if (m.pathUnreadable || maxChars < 2) return std::nullopt;
          return FitTo(baseName ? FileNameOf(m.path) : m.path, maxChars);
        }
        return std::nullopt;
      };
}

GetModuleInformationFunction FakeProcessesArea::BindGetModuleInformation(Handle library) {
  auto loaded = LibraryBinding(library, kPsapi, "GetModuleInformation");
  if (!loaded) return {};
  return
      [this, loaded = *loaded](Handle process, Handle module) -> std::optional<ModuleInformation> {
        loaded();
        const FakeProcess* p = ProcessOf(process);
        if (p == nullptr) return std::nullopt;
        for (const FakeModule& m : p->modules) {
          if (m.ModuleHandle() == module) return ModuleInformation{m.base, m.size, m.entryPoint};
        }
        return std::nullopt;
      };
}

// --- The program's token ---

std::uint32_t FakeProcessesArea::GetCurrentProcessId() {
  return system_.processTable.currentProcessId;
}

Handle FakeProcessesArea::OpenProcessToken(std::uint32_t access) {
  system_.processTable.tokenAccesses.push_back(access);
  if (system_.processTable.tokenOpenFails) return 0;
  const Handle handle = kHandleBase + system_.NextHandle();
  tokens_.insert(handle);
  return handle;
}

std::optional<std::uint64_t> FakeProcessesArea::LookupPrivilegeValueWide(std::u16string_view name) {
  system_.processTable.lookedUpPrivileges.emplace_back(name);
  for (const auto& [known, value] : system_.processTable.privileges) {
    if (text::EqualsNoCase(known, name)) return value;
  }
  return std::nullopt;
}

AdjustPrivilegesResult FakeProcessesArea::AdjustTokenPrivileges(Handle token,
                                                                std::uint64_t privilege,
                                                                std::uint32_t attributes) {
  system_.processTable.adjustments.push_back({token, privilege, attributes});
  if (tokens_.count(token) == 0) return {false, kErrorInvalidHandle};
  const AdjustPrivilegesResult answer = system_.processTable.adjustAnswer;
  if (answer.succeeded && answer.lastError == 0) {
    if ((attributes & kSePrivilegeEnabled) != 0) {
      system_.processTable.enabledPrivileges.insert(privilege);
    } else {
      system_.processTable.enabledPrivileges.erase(privilege);
    }
  }
  return answer;
}

// --- The user and the token's groups ---

std::optional<std::u16string> FakeProcessesArea::GetUserNameWide(std::uint32_t maxChars) {
  FakeAccounts& accounts = system_.accounts;
  accounts.userNameBufferChars.push_back(maxChars);
  if (!accounts.userName || accounts.userName->size() >= maxChars) return std::nullopt;
  return accounts.userName;
}

AllocateAndInitializeSidFunction FakeProcessesArea::BindAllocateAndInitializeSid(Handle library) {
  auto loaded = LibraryBinding(library, kAdvapi32, "AllocateAndInitializeSid");
  if (!loaded) return {};
  return [this, loaded = *loaded](const SidAuthority& authority,
                                  std::span<const std::uint32_t> subAuthorities) -> Sid {
    loaded();
    if (subAuthorities.size() > 8) return 0;
    // S-1-<authority>-<sub-authority>...: the authority in decimal as long as
    // it fits in 32 bits, as the system writes it.
    std::uint64_t value = 0;
    for (const std::uint8_t byte : authority) value = (value << 8) | byte;
    std::string text = "S-1-" + std::to_string(value);
    for (const std::uint32_t sub : subAuthorities) text += "-" + std::to_string(sub);
    const Sid sid = kHandleBase + system_.NextHandle();
    system_.accounts.sids[sid] = text::FromAscii(text);
    return sid;
  };
}

FreeSidFunction FakeProcessesArea::BindFreeSid(Handle library) {
  auto loaded = LibraryBinding(library, kAdvapi32, "FreeSid");
  if (!loaded) return {};
  return [this, loaded = *loaded](Sid sid) {
    loaded();
    if (system_.accounts.sids.erase(sid) == 0) throw std::logic_error("FreeSid of no SID");
  };
}

CheckTokenMembershipFunction FakeProcessesArea::BindCheckTokenMembership(Handle library) {
  auto loaded = LibraryBinding(library, kAdvapi32, "CheckTokenMembership");
  if (!loaded) return {};
  return [this, loaded = *loaded](Handle token, Sid sid) -> std::optional<bool> {
    loaded();
    FakeAccounts& accounts = system_.accounts;
    const auto it = accounts.sids.find(sid);
    accounts.membershipChecks.push_back(it == accounts.sids.end() ? u"" : it->second);
    if (accounts.membershipCheckFails || token != 0 || it == accounts.sids.end()) {
      return std::nullopt;
    }
    return accounts.tokenGroups.count(it->second) != 0;
  };
}

}  // namespace platform::fake
