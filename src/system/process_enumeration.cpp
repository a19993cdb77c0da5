#include "system/process_enumeration.h"

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "platform/scoped_handle.h"

namespace sys {
namespace {

using platform::Handle;
using platform::ScopedHandle;

// Process `processId` opened for the Process Status Helper walk.
ScopedHandle OpenForReading(platform::System& system, std::uint32_t processId) {
  return ScopedHandle(system.runtime(),
                      system.processes().OpenProcess(kProcessReadAccess, processId));
}

// --- The Process Status Helper (Windows NT 4) ---

struct PsapiFunctions {
  platform::EnumProcessesFunction enumProcesses;
  platform::EnumProcessModulesFunction enumProcessModules;
  platform::ModuleNameFunction getModuleBaseName;
  platform::ModuleNameFunction getModuleFileNameEx;
  platform::GetModuleInformationFunction getModuleInformation;

  bool complete() const {
    return enumProcesses && enumProcessModules && getModuleBaseName && getModuleFileNameEx &&
           getModuleInformation;
  }
};

// The ids of EnumProcesses and the next position.
class PsapiProcessList final : public ProcessList {
 public:
  PsapiProcessList(platform::System& system, const PsapiFunctions& functions,
                   std::vector<std::uint32_t> ids)
      : system_(system), functions_(functions), ids_(std::move(ids)) {}

  // The next process from the position that can be read.
  bool Next(RunningProcess& record) override {
    while (position_ < ids_.size()) {
      const std::uint32_t id = ids_[position_++];
      if (auto name = ReadName(id)) {
        record.processId = id;
        record.name = std::move(*name);
        return true;
      }
    }
    return false;
  }

 private:
  // The base name of the process's first module, or nothing when the
  // process cannot be read.
  std::optional<std::u16string> ReadName(std::uint32_t processId) const {
    const ScopedHandle process = OpenForReading(system_, processId);
    if (process.get() == 0) return std::nullopt;
    const auto modules = functions_.enumProcessModules(process.get(), limits::kMaxModuleHandles);
    if (!modules || modules->empty()) return std::nullopt;
    return functions_.getModuleBaseName(process.get(), modules->front(), limits::kMaxPathChars);
  }

  platform::System& system_;
  const PsapiFunctions& functions_;
  std::vector<std::uint32_t> ids_;
  std::size_t position_ = 0;
};

// The process id and the next position; the module handles are listed anew
// at every step.
class PsapiModuleList final : public ModuleList {
 public:
  PsapiModuleList(platform::System& system, const PsapiFunctions& functions,
                  std::uint32_t processId)
      : system_(system), functions_(functions), processId_(processId) {}

  // The next module from the position whose information and path can be
  // read.
  bool Next(ModuleRecord& record) override {
    while (true) {
      const ScopedHandle process = OpenForReading(system_, processId_);
      if (process.get() == 0) return false;
      const auto modules = functions_.enumProcessModules(process.get(), limits::kMaxModuleHandles);
      if (!modules || position_ >= modules->size()) return false;
      const Handle module = (*modules)[position_++];
      const auto information = functions_.getModuleInformation(process.get(), module);
      if (!information) continue;
      auto path = functions_.getModuleFileNameEx(process.get(), module, limits::kMaxPathChars);
      if (!path) continue;
      record.module = module;
      record.path = std::move(*path);
      record.processId = processId_;
      record.baseAddress = information->baseAddress;
      record.size = information->size;
      return true;
    }
  }

 private:
  platform::System& system_;
  const PsapiFunctions& functions_;
  std::uint32_t processId_;
  std::size_t position_ = 0;
};

class PsapiWalker final : public ProcessWalker {
 public:
  PsapiWalker(platform::System& system, PsapiFunctions functions)
      : system_(system), functions_(std::move(functions)) {}

  Kind kind() const override { return Kind::kProcessStatusHelper; }

  std::unique_ptr<ProcessList> OpenProcessList() const override {
    auto ids = functions_.enumProcesses(limits::kProcessIdArrayBytes);
    if (!ids) return nullptr;
    return std::make_unique<PsapiProcessList>(system_, functions_, std::move(*ids));
  }

  // The process must be open to read and its modules listable.
  std::unique_ptr<ModuleList> OpenModuleList(std::uint32_t processId) const override {
    const ScopedHandle process = OpenForReading(system_, processId);
    if (process.get() == 0) return nullptr;
    if (!functions_.enumProcessModules(process.get(), limits::kMaxModuleHandles)) return nullptr;
    return std::make_unique<PsapiModuleList>(system_, functions_, processId);
  }

 private:
  platform::System& system_;
  PsapiFunctions functions_;
};

// --- Tool Help, narrow (Text = std::string) or wide (std::u16string) ---

// A name of the wide functions as it is; one of the narrow functions in
// UTF-16, or nothing when the conversion fails.
std::optional<std::u16string> Widen(platform::System&, std::u16string name) { return name; }

std::optional<std::u16string> Widen(platform::System& system, const std::string& ansi) {
  if (ansi.empty()) return std::u16string();
  std::u16string wide = system.runtime().AnsiToWide(ansi);
  if (wide.empty()) return std::nullopt;
  return wide;
}

template <typename Text>
struct ToolHelpFunctions {
  platform::CreateToolhelp32SnapshotFunction createSnapshot;
  std::function<std::optional<platform::ProcessEntry<Text>>(Handle)> process32First;
  std::function<std::optional<platform::ProcessEntry<Text>>(Handle)> process32Next;
  std::function<std::optional<platform::ModuleEntry<Text>>(Handle)> module32First;
  std::function<std::optional<platform::ModuleEntry<Text>>(Handle)> module32Next;

  bool complete() const {
    return createSnapshot && process32First && process32Next && module32First && module32Next;
  }
};

// A Tool Help walk: the snapshot, closed when the list goes, and whether the
// walk has begun (its first step is Process32First or Module32First).
template <typename Text>
class ToolHelpProcessList final : public ProcessList {
 public:
  ToolHelpProcessList(platform::System& system, const ToolHelpFunctions<Text>& functions,
                      Handle snapshot)
      : system_(system), functions_(functions), snapshot_(system.runtime(), snapshot) {}

  bool Next(RunningProcess& record) override {
    const auto entry = begun_ ? functions_.process32Next(snapshot_.get())
                              : functions_.process32First(snapshot_.get());
    begun_ = true;
    if (!entry) return false;
    auto name = Widen(system_, entry->exeFile);
    if (!name) return false;
    record.processId = entry->processId;
    record.name = std::move(*name);
    return true;
  }

 private:
  platform::System& system_;
  const ToolHelpFunctions<Text>& functions_;
  ScopedHandle snapshot_;
  bool begun_ = false;
};

template <typename Text>
class ToolHelpModuleList final : public ModuleList {
 public:
  ToolHelpModuleList(platform::System& system, const ToolHelpFunctions<Text>& functions,
                     Handle snapshot)
      : system_(system), functions_(functions), snapshot_(system.runtime(), snapshot) {}

  bool Next(ModuleRecord& record) override {
    const auto entry = begun_ ? functions_.module32Next(snapshot_.get())
                              : functions_.module32First(snapshot_.get());
    begun_ = true;
    if (!entry) return false;
    auto path = Widen(system_, entry->exePath);
    if (!path) return false;
    record.module = entry->module;
    record.path = std::move(*path);
    record.processId = entry->processId;
    record.baseAddress = entry->baseAddress;
    record.size = entry->baseSize;
    return true;
  }

 private:
  platform::System& system_;
  const ToolHelpFunctions<Text>& functions_;
  ScopedHandle snapshot_;
  bool begun_ = false;
};

template <typename Text>
class ToolHelpWalker final : public ProcessWalker {
 public:
  ToolHelpWalker(platform::System& system, ToolHelpFunctions<Text> functions)
      : system_(system), functions_(std::move(functions)) {}

  Kind kind() const override {
    return std::is_same_v<Text, std::string> ? Kind::kNarrowToolHelp : Kind::kWideToolHelp;
  }

  std::unique_ptr<ProcessList> OpenProcessList() const override {
    const Handle snapshot = functions_.createSnapshot(platform::kTh32csSnapProcess, 0);
    if (snapshot == 0) return nullptr;
    return std::make_unique<ToolHelpProcessList<Text>>(system_, functions_, snapshot);
  }

  std::unique_ptr<ModuleList> OpenModuleList(std::uint32_t processId) const override {
    const Handle snapshot = functions_.createSnapshot(platform::kTh32csSnapModule, processId);
    if (snapshot == 0) return nullptr;
    return std::make_unique<ToolHelpModuleList<Text>>(system_, functions_, snapshot);
  }

 private:
  platform::System& system_;
  ToolHelpFunctions<Text> functions_;
};

template <typename Functions, typename Walker>
std::unique_ptr<ProcessWalker> WalkerIfComplete(platform::System& system, Functions functions) {
  if (!functions.complete()) return nullptr;
  return std::make_unique<Walker>(system, std::move(functions));
}

}  // namespace

std::unique_ptr<ProcessWalker> BindProcessStatusHelperWalker(platform::System& system,
                                                             Handle library) {
  platform::Processes& p = system.processes();
  // Braces bind in the order written.
  return WalkerIfComplete<PsapiFunctions, PsapiWalker>(
      system, PsapiFunctions{p.BindEnumProcesses(library), p.BindEnumProcessModules(library),
                             p.BindModuleName(library, "GetModuleBaseNameW"),
                             p.BindModuleName(library, "GetModuleFileNameExW"),
                             p.BindGetModuleInformation(library)});
}

std::unique_ptr<ProcessWalker> BindNarrowToolHelpWalker(platform::System& system, Handle library) {
  platform::Processes& p = system.processes();
  using Functions = ToolHelpFunctions<std::string>;
  return WalkerIfComplete<Functions, ToolHelpWalker<std::string>>(
      system, Functions{p.BindCreateToolhelp32Snapshot(library),
                        p.BindProcessWalkAnsi(library, "Process32First"),
                        p.BindProcessWalkAnsi(library, "Process32Next"),
                        p.BindModuleWalkAnsi(library, "Module32First"),
                        p.BindModuleWalkAnsi(library, "Module32Next")});
}

std::unique_ptr<ProcessWalker> BindWideToolHelpWalker(platform::System& system, Handle library) {
  platform::Processes& p = system.processes();
  using Functions = ToolHelpFunctions<std::u16string>;
  return WalkerIfComplete<Functions, ToolHelpWalker<std::u16string>>(
      system, Functions{p.BindCreateToolhelp32Snapshot(library),
                        p.BindProcessWalkWide(library, "Process32FirstW"),
                        p.BindProcessWalkWide(library, "Process32NextW"),
                        p.BindModuleWalkWide(library, "Module32FirstW"),
                        p.BindModuleWalkWide(library, "Module32NextW")});
}

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
