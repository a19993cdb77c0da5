#include "removal/script_handler.h"

#include <algorithm>
#include <string>

#include "common/string_ids.h"
#include "common/text.h"
#include "removal/protected_processes.h"
#include "scan/scan_context.h"
#include "scan/texts.h"

namespace removal {

using descriptions::ActionCode;
using descriptions::ScriptAction;
using scan::ProcessRecord;

std::optional<RegistryPath> SplitRegistryPath(std::u16string_view path) {
  const std::size_t slash = path.find(u'\\');
  if (slash == std::u16string_view::npos) return std::nullopt;
  return RegistryPath{path.substr(0, slash), path.substr(slash + 1)};
}

namespace {

const std::u16string* NamedArgument(const ScriptAction& action, std::u16string_view key) {
  return action.namedArguments.Find(key);
}

bool IsInfectedFile(std::u16string_view argument) {
  return text::EqualsNoCase(argument, descriptions::kInfectedFile);
}

// One Remove: the finding, where its output goes and the operations it calls.
class Driver {
 public:
  // A file finding with its path, or a memory finding with its processes.
  Driver(ScriptMalwareHandler& handler, scan::ScanContext& context,
         std::u16string_view infectedFile, std::span<const ProcessRecord> processes, bool memory,
         bool& registryTouched)
      : handler_(handler),
        systemContext_(context.systemContext()),
        system_(context.systemContext().system()),
        observer_(context.observer()),
        operations_(context.removalOperations()),
        infectedFile_(infectedFile),
        processes_(processes),
        memory_(memory),
        pending_(handler.pending()),
        registryTouched_(registryTouched) {}

  void Run() {
    const std::u16string name =
        text::Format(u"%s.%s", {handler_.BaseName(), handler_.VariantName()});
    observer_.ReportFinding(name, memory_
                                      ? Text(strings::kFoundInMemory)
                                      : text::Format(Text(strings::kFoundInFile), {infectedFile_}));
    if (memory_) {
      TerminateProcesses();
      if (handler_.signatures().memory.length == 0) RemoveExecutables();
    } else if (IsSystemProcessFile(systemContext_, infectedFile_)) {
      observer_.AppendText(Text(strings::kRemovingExecutable));
      observer_.AppendText(Text(strings::kSystemFileKept));
    } else {
      observer_.AppendText(Text(strings::kRemovingExecutable));
      EndLine(operations_.RemoveFile(infectedFile_) == codes::FileRemovalResult::kDone);
    }
    for (const ScriptAction& action : handler_.actions()) Carry(action);
    if (registryTouched_) {
      Line(Text(strings::kCleaningRegistryKeys));
      registryTouched_ = false;
    }
    observer_.ReportFinding(name, Text(strings::kSuccessfullyRemoved));
  }

 private:
  std::u16string Text(std::uint32_t id) { return scan::LoadText(system_, id); }
  // Ends a progress line with "done" or "failed".
  void EndLine(bool done) { observer_.AppendText(Text(done ? strings::kDone : strings::kFailed)); }
  // A progress line that ends in "done".
  void Line(std::u16string_view text) {
    observer_.AppendText(text);
    EndLine(true);
  }

  // The processes of the first KILL_PROCESS action, ended on one line. The
  // line ends in "done" when every process ended; a line of one process says
  // "failed" or that it is left running; a line of several names those that
  // did not end.
  void TerminateProcesses() {
    const auto kill = std::find_if(
        handler_.actions().begin(), handler_.actions().end(),
        [](const ScriptAction& action) { return action.code == ActionCode::kKillProcess; });
    if (kill == handler_.actions().end()) return;
    std::vector<ProcessRecord> list;
    for (const std::u16string& argument : kill->arguments) {
      if (text::EqualsNoCase(argument, descriptions::kInfectedProcesses)) {
        list.insert(list.end(), processes_.begin(), processes_.end());
      } else {
        operations_.FindProcessesByName(argument, list);
      }
    }
    if (list.empty()) return;
    observer_.AppendText(
        Text(list.size() == 1 ? strings::kTerminatingProcess : strings::kTerminatingProcesses));
    const std::vector<codes::ProcessEndResult> results = operations_.TerminateProcesses(list);
    using codes::ProcessEndResult;
    const auto result = [&](std::size_t i) {
      return i < results.size() ? results[i] : ProcessEndResult::kNotEnded;
    };
    if (list.size() == 1) {
      const ProcessEndResult only = result(0);
      observer_.AppendText(Text(only == ProcessEndResult::kEnded ? strings::kDone
                                : only == ProcessEndResult::kProtected
                                    ? strings::kProcessKeptRunning
                                    : strings::kFailed));
      return;
    }
    std::u16string notEnded;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (result(i) == ProcessEndResult::kEnded) continue;
      if (!notEnded.empty()) notEnded.append(u", ");
      notEnded.append(
          text::Format(Text(result(i) == ProcessEndResult::kProtected ? strings::kKeptProcess
                                                                      : strings::kNotEndedProcess),
                       {list[i].name, list[i].processId}));
    }
    if (notEnded.empty()) {
      EndLine(true);
    } else {
      observer_.AppendText(text::Format(Text(strings::kProcessesNotEnded), {notEnded}));
    }
  }

  // The executables of the finding's processes: they were found on disk. A
  // file of the system's own processes is kept.
  void RemoveExecutables() {
    observer_.AppendText(Text(strings::kRemovingExecutables));
    bool any = false;
    bool kept = false;
    for (const ProcessRecord& process : processes_) {
      if (IsSystemProcessFile(systemContext_, process.name)) {
        kept = true;
        continue;
      }
      // Only a failed schedule counts as not removed.
      if (operations_.RemoveFile(process.name) != codes::FileRemovalResult::kScheduleFailed) {
        any = true;
      }
    }
    if (!any && kept) {
      observer_.AppendText(Text(strings::kSystemFileKept));
    } else {
      EndLine(any);
    }
  }

  // Calls `operation` with each name that "%infected_file%" stands for: the
  // finding's process files, or its infected file. True when any call
  // answered true (done).
  template <typename Operation>
  bool ForInfectedFiles(Operation operation) {
    bool any = false;
    if (memory_) {
      for (const ProcessRecord& process : processes_) {
        if (operation(std::u16string_view(process.name))) any = true;
      }
    } else {
      any = operation(infectedFile_);
    }
    return any;
  }

  void Carry(const ScriptAction& action) {
    switch (action.code) {
      case ActionCode::kKillProcess:
        break;  // memory findings only, before the actions
      case ActionCode::kRemoveFile:
        RemoveCompanionFiles(action);
        break;
      case ActionCode::kRenameFile:
        RenameFile(action);
        break;
      case ActionCode::kCleanSystemIni:
        CleanIniFile(action, 1, u"system.ini");
        break;
      case ActionCode::kCleanWinIni:
        CleanIniFile(action, 2, u"win.ini");
        break;
      case ActionCode::kRestoreHosts:
        RestoreHosts();
        break;
      case ActionCode::kRemoveFromHosts:
        RemoveFromHosts(action);
        break;
      case ActionCode::kShowPopupInfo:
        // On every Remove; the worker waits until the box is closed.
        if (!action.arguments.empty()) operations_.ShowPopup(action.arguments[0]);
        break;
      case ActionCode::kRemoveRunReg:
        RemoveRunEntries(action);
        break;
      case ActionCode::kRemoveRegKey:
      case ActionCode::kAddRegKey:
        Keys(action);
        break;
      case ActionCode::kRemoveRegValue:
        RemoveValues(action);
        break;
      case ActionCode::kReplaceRegValue:
        ReplaceValue(action);
        break;
      case ActionCode::kAddRegValue:
        AddValue(action);
        break;
    }
  }

  void RemoveCompanionFiles(const ScriptAction& action) {
    if (!pending_) return;
    for (const std::u16string& path : action.arguments) {
      // The infected file is removed by its own step; the placeholder is
      // never handed on as a path, which would name a file in the current
      // folder.
      if (IsInfectedFile(path)) continue;
      if (operations_.RemoveFile(path) == codes::FileRemovalResult::kDone) {
        Line(text::Format(Text(strings::kDeletingCompanionFile), {path}));
      }
    }
  }

  void RenameFile(const ScriptAction& action) {
    if (!pending_) return;
    const std::u16string* directory = NamedArgument(action, descriptions::kArgDirectory);
    const std::u16string* oldValue = NamedArgument(action, descriptions::kArgOldValue);
    const std::u16string* newValue = NamedArgument(action, descriptions::kArgNewValue);
    if (oldValue == nullptr || newValue == nullptr) return;
    std::u16string oldPath;
    std::u16string newPath;
    if (action.namedArguments.size() == 3 && directory != nullptr) {
      oldPath = std::u16string(*directory).append(u"\\").append(*oldValue);
      newPath = std::u16string(*directory).append(u"\\").append(*newValue);
    } else if (action.namedArguments.size() == 2) {
      oldPath = *oldValue;
      newPath = *newValue;
    } else {
      return;
    }
    if (operations_.RenameFile(oldPath, newPath) == codes::FileRenameResult::kDone) {
      Line(text::Format(Text(strings::kRenamingFile), {oldPath, newPath}));
    }
  }

  void CleanIniFile(const ScriptAction& action, int which, std::u16string_view fileName) {
    if (action.arguments.empty()) return;
    const std::u16string& argument = action.arguments[0];
    bool done = false;
    if (IsInfectedFile(argument)) {
      done = ForInfectedFiles([&](std::u16string_view file) {
        return operations_.CleanIniFile(file, which) == codes::SystemFileResult::kChanged;
      });
    } else if (pending_) {
      done = operations_.CleanIniFile(argument, which) == codes::SystemFileResult::kChanged;
    }
    if (done) Line(text::Format(Text(strings::kCleaningNamedFile), {fileName}));
  }

  // A hosts file of UTF-16 text is left as it is: its line ends in "failed".
  void RestoreHosts() {
    if (!pending_) return;
    const codes::SystemFileResult result = operations_.RestoreHosts();
    if (result == codes::SystemFileResult::kNothingDone) return;
    observer_.AppendText(Text(strings::kRestoringHostsFile));
    EndLine(result == codes::SystemFileResult::kChanged);
  }

  void RemoveFromHosts(const ScriptAction& action) {
    if (!pending_ || action.arguments.empty()) return;
    bool any = false;
    bool utf16 = false;
    for (const std::u16string& name : action.arguments) {
      const codes::HostsRemovalResult result = operations_.RemoveFromHosts(name);
      if (result == codes::HostsRemovalResult::kChanged) any = true;
      if (result == codes::HostsRemovalResult::kUtf16Text) utf16 = true;
    }
    if (!any && !utf16) return;
    observer_.AppendText(Text(strings::kCleaningHostsFile));
    EndLine(any);
  }

  void RemoveRunEntries(const ScriptAction& action) {
    registryTouched_ = true;
    for (const std::u16string& argument : action.arguments) {
      if (IsInfectedFile(argument)) {
        ForInfectedFiles([&](std::u16string_view file) {
          return operations_.RemoveRunEntries(file) == codes::RunEntriesResult::kCleaned;
        });
      } else if (pending_) {
        operations_.RemoveRunEntries(argument);
      } else {
        break;
      }
    }
  }

  // REMOVE_REG_KEY and ADD_REG_KEY: one key per argument.
  void Keys(const ScriptAction& action) {
    registryTouched_ = true;
    if (!pending_) return;
    for (const std::u16string& argument : action.arguments) {
      const auto path = SplitRegistryPath(argument);
      if (!path) continue;
      if (action.code == ActionCode::kRemoveRegKey) {
        operations_.RemoveRegistryKey(path->root, path->subkey);
      } else {
        operations_.AddRegistryKey(path->root, path->subkey);
      }
    }
  }

  void RemoveValues(const ScriptAction& action) {
    registryTouched_ = true;
    if (!pending_) return;
    const std::u16string* key = NamedArgument(action, descriptions::kArgKey);
    const auto path = key ? SplitRegistryPath(*key) : std::nullopt;
    if (!path) return;
    for (const std::u16string& valueName : action.arguments) {
      operations_.RemoveRegistryValue(path->root, path->subkey, valueName);
    }
  }

  void ReplaceValue(const ScriptAction& action) {
    registryTouched_ = true;
    const std::u16string* key = NamedArgument(action, descriptions::kArgKey);
    const std::u16string* valueName = NamedArgument(action, descriptions::kArgValueName);
    const std::u16string* oldValue = NamedArgument(action, descriptions::kArgOldValue);
    const std::u16string* newValue = NamedArgument(action, descriptions::kArgNewValue);
    if (!key || !valueName || !oldValue || !newValue) return;
    const auto path = SplitRegistryPath(*key);
    if (!path) return;
    if (IsInfectedFile(*oldValue)) {
      ForInfectedFiles([&](std::u16string_view file) {
        return operations_.ReplaceRegistryValue(path->root, path->subkey, *valueName, file,
                                                *newValue) == codes::ValueWriteResult::kWritten;
      });
    } else if (pending_) {
      operations_.ReplaceRegistryValue(path->root, path->subkey, *valueName, *oldValue, *newValue);
    }
  }

  void AddValue(const ScriptAction& action) {
    registryTouched_ = true;
    if (!pending_) return;
    const std::u16string* key = NamedArgument(action, descriptions::kArgKey);
    const std::u16string* value = NamedArgument(action, descriptions::kArgValue);
    if (!key || !value) return;
    const auto path = SplitRegistryPath(*key);
    if (!path) return;
    const auto optional = [&](std::u16string_view name) -> std::optional<std::u16string_view> {
      const std::u16string* argument = NamedArgument(action, name);
      if (argument == nullptr) return std::nullopt;
      return std::u16string_view(*argument);
    };
    operations_.AddRegistryValue(path->root, path->subkey, *value,
                                 optional(descriptions::kArgDataType),
                                 optional(descriptions::kArgData));
  }

  ScriptMalwareHandler& handler_;
  const sys::SystemContext& systemContext_;
  platform::System& system_;
  scan::ScanObserver& observer_;
  scan::RemovalOperations& operations_;
  std::u16string_view infectedFile_;
  std::span<const ProcessRecord> processes_;
  bool memory_;
  bool pending_;
  bool& registryTouched_;
};

}  // namespace

ScriptMalwareHandler::ScriptMalwareHandler(const signatures::SignaturePair& signatures,
                                           const descriptions::MalwareDescription& description)
    : MalwareHandler(signatures),
      baseName_(description.baseName),
      variantName_(description.variantName),
      actions_(description.actions) {}

void ScriptMalwareHandler::Remove(scan::ScanContext& context, const scan::Finding& finding) {
  if (const auto* file = std::get_if<scan::FileFinding>(&finding)) {
    Driver(*this, context, file->path, {}, false, registryTouched_).Run();
  } else if (const auto* script = std::get_if<scan::ScriptFinding>(&finding)) {
    // The memory scanner hands a script handler its processes in one list;
    // an empty list counts as none.
    if (script->processes.empty()) return;
    Driver(*this, context, u"", script->processes, true, registryTouched_).Run();
  } else {
    return;
  }
  pending_ = false;
}

}  // namespace removal
