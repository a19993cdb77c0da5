#include "system/process_enumeration.h"

namespace sys {
namespace {

// An 8-bit name of the narrow Tool Help functions in UTF-16, or nothing
// when the conversion fails.
std::optional<std::u16string> Widen(platform::System& system, const std::string& ansi) {
  if (ansi.empty()) return std::u16string();
  std::u16string wide = system.runtime().AnsiToWide(ansi);
  if (wide.empty()) return std::nullopt;
  return wide;
}

// Process `processId` opened for the Process Status Helper walk.
platform::ScopedHandle OpenForReading(platform::System& system, std::uint32_t processId) {
  return platform::ScopedHandle(system.runtime(),
                                system.processes().OpenProcess(kProcessReadAccess, processId));
}

// NT 4: the name of process `processId` (the base name of its first
// module), or nothing when the process cannot be read.
std::optional<std::u16string> ReadProcessName(const EnumerationSet& set, std::uint32_t processId) {
  const platform::ScopedHandle process = OpenForReading(*set.system, processId);
  if (process.get() == 0) return std::nullopt;
  const auto modules = set.enumProcessModules(process.get(), limits::kMaxModuleHandles);
  if (!modules || modules->empty()) return std::nullopt;
  return set.getModuleBaseName(process.get(), modules->front(), limits::kMaxPathChars);
}

// NT 4: the next process from the list's position that can be read.
bool ReadNextProcess(ProcessList& list, RunningProcess& record) {
  while (list.position < list.ids.size()) {
    const std::uint32_t id = list.ids[list.position++];
    if (auto name = ReadProcessName(list.set, id)) {
      record.processId = id;
      record.name = std::move(*name);
      return true;
    }
  }
  return false;
}

// Tool Help: one step of the process walk.
bool ToolHelpProcess(ProcessList& list, RunningProcess& record, bool first) {
  const EnumerationSet& set = list.set;
  if (set.narrow) {
    const auto entry =
        first ? set.process32First(list.snapshot.get()) : set.process32Next(list.snapshot.get());
    if (!entry) return false;
    auto name = Widen(*set.system, entry->exeFile);
    if (!name) return false;
    record.processId = entry->processId;
    record.name = std::move(*name);
    return true;
  }
  const auto entry =
      first ? set.process32FirstW(list.snapshot.get()) : set.process32NextW(list.snapshot.get());
  if (!entry) return false;
  record.processId = entry->processId;
  record.name = entry->exeFile;
  return true;
}

// NT 4: the next module from the list's position whose information and path
// can be read.
bool ReadNextModule(ModuleList& list, ModuleRecord& record) {
  const EnumerationSet& set = list.set;
  while (true) {
    const platform::ScopedHandle process = OpenForReading(*set.system, list.processId);
    if (process.get() == 0) return false;
    auto modules = set.enumProcessModules(process.get(), limits::kMaxModuleHandles);
    if (!modules) return false;
    list.modules = std::move(*modules);
    if (list.position >= list.modules.size()) return false;
    const platform::Handle module = list.modules[list.position++];
    const auto information = set.getModuleInformation(process.get(), module);
    if (!information) continue;
    auto path = set.getModuleFileNameEx(process.get(), module, limits::kMaxPathChars);
    if (!path) continue;
    record.module = module;
    record.path = std::move(*path);
    record.processId = list.processId;
    record.baseAddress = information->baseAddress;
    record.size = information->size;
    return true;
  }
}

// Tool Help: one step of the module walk.
bool ToolHelpModule(ModuleList& list, ModuleRecord& record, bool first) {
  const EnumerationSet& set = list.set;
  auto fill = [&record](const auto& entry, std::u16string path) {
    record.module = entry.module;
    record.path = std::move(path);
    record.processId = entry.processId;
    record.baseAddress = entry.baseAddress;
    record.size = entry.baseSize;
  };
  if (set.narrow) {
    const auto entry =
        first ? set.module32First(list.snapshot.get()) : set.module32Next(list.snapshot.get());
    if (!entry) return false;
    auto path = Widen(*set.system, entry->exePath);
    if (!path) return false;
    fill(*entry, std::move(*path));
    return true;
  }
  const auto entry =
      first ? set.module32FirstW(list.snapshot.get()) : set.module32NextW(list.snapshot.get());
  if (!entry) return false;
  fill(*entry, entry->exePath);
  return true;
}

}  // namespace

std::unique_ptr<ProcessList> OpenProcessList(const EnumerationSet& set) {
  if (!set.bound) return nullptr;
  auto list = std::make_unique<ProcessList>(set);
  if (set.usesPsapi) {
    auto ids = set.enumProcesses(limits::kProcessIdArrayBytes);
    if (!ids) return nullptr;
    list->ids = std::move(*ids);
    return list;
  }
  list->snapshot = platform::ScopedHandle(set.system->runtime(),
                                          set.createSnapshot(platform::kTh32csSnapProcess, 0));
  if (list->snapshot.get() == 0) return nullptr;
  return list;
}

bool FirstProcess(ProcessList& list, RunningProcess& record) {
  if (list.set.usesPsapi) {
    list.position = 0;
    return ReadNextProcess(list, record);
  }
  return ToolHelpProcess(list, record, true);
}

bool NextProcess(ProcessList& list, RunningProcess& record) {
  if (list.set.usesPsapi) return ReadNextProcess(list, record);
  return ToolHelpProcess(list, record, false);
}

void CloseProcessList(std::unique_ptr<ProcessList> list) { list.reset(); }

std::unique_ptr<ModuleList> OpenModuleList(const EnumerationSet& set, std::uint32_t processId) {
  if (!set.bound) return nullptr;
  auto list = std::make_unique<ModuleList>(set);
  list->processId = processId;
  if (set.usesPsapi) {
    const platform::ScopedHandle process = OpenForReading(*set.system, processId);
    if (process.get() == 0) return nullptr;
    auto modules = set.enumProcessModules(process.get(), limits::kMaxModuleHandles);
    if (!modules) return nullptr;
    list->modules = std::move(*modules);
    return list;
  }
  list->snapshot = platform::ScopedHandle(
      set.system->runtime(), set.createSnapshot(platform::kTh32csSnapModule, processId));
  if (list->snapshot.get() == 0) return nullptr;
  return list;
}

bool FirstModule(ModuleList& list, ModuleRecord& record) {
  if (list.set.usesPsapi) {
    list.position = 0;
    return ReadNextModule(list, record);
  }
  return ToolHelpModule(list, record, true);
}

bool NextModule(ModuleList& list, ModuleRecord& record) {
  if (list.set.usesPsapi) return ReadNextModule(list, record);
  return ToolHelpModule(list, record, false);
}

void CloseModuleList(std::unique_ptr<ModuleList> list) { list.reset(); }

bool EnableDebugPrivilege(platform::System& system) {
  const platform::ScopedHandle token(
      system.runtime(), system.processes().OpenProcessToken(platform::kTokenAdjustPrivileges));
  if (token.get() == 0) return false;
  bool enabled = false;
  if (const auto privilege = system.processes().LookupPrivilegeValueWide(u"SeDebugPrivilege")) {
    enabled = system.processes()
                  .AdjustTokenPrivileges(token.get(), *privilege, platform::kSePrivilegeEnabled)
                  .succeeded;
  }
  return enabled;
}

}  // namespace sys
