// Process termination: finding processes by name, and ending them, one
// thread per process, each lowering its process's priority first so that a
// process busy protecting itself gets little time while it is ended.
#include <algorithm>
#include <atomic>
#include <iterator>
#include <span>

#include "common/text.h"
#include "platform/scoped_handle.h"
#include "removal/system_operations.h"
#include "system/process_enumeration.h"

namespace removal {
namespace {

// How long a terminated process is given to end.
constexpr std::uint32_t kTerminationWaitMs = 5000;

}  // namespace

void SystemRemovalOperations::FindProcessesByName(std::u16string_view name,
                                                  std::vector<scan::ProcessRecord>& list) {
  const sys::SystemContext& system = systemContext_;
  const sys::ProcessWalker* walker = system.processWalker();
  const auto processes = walker != nullptr ? walker->OpenProcessList() : nullptr;
  if (!processes) return;
  sys::RunningProcess process;
  while (processes->Next(process)) {
    std::u16string_view executable = process.name;
    // Tool Help of Windows 9x names the executable by its full path.
    if (system.isWindows9x()) {
      const std::size_t slash = executable.rfind(u'\\');
      if (slash == std::u16string_view::npos) continue;
      executable.remove_prefix(slash + 1);
    }
    if (!text::EqualsNoCase(executable, name)) continue;
    // The Process Status Helper's base name, else the name searched for.
    const bool baseNames = walker->kind() == sys::ProcessWalker::Kind::kProcessStatusHelper;
    list.push_back({std::u16string(baseNames ? executable : name), process.processId});
  }
}

codes::TerminationResult SystemRemovalOperations::TerminateProcesses(
    const std::vector<scan::ProcessRecord>* list) {
  if (list == nullptr) return codes::TerminationResult::kNoList;
  platform::Runtime& runtime = systemContext_.system().runtime();
  std::vector<platform::ScopedHandle> threads;
  threads.reserve(list->size());
  for (const scan::ProcessRecord& record : *list) {
    const std::uint32_t id = record.processId;
    const platform::Handle thread = runtime.StartThread([this, id] { TerminateProcessById(id); });
    if (thread != 0) {
      threads.emplace_back(runtime, thread);
    } else {
      // Without a thread of its own the process is ended here.
      TerminateProcessById(id);
    }
  }
  // One wait covers at most kMaximumWaitObjects threads: the rest are waited
  // for in further groups, so that no thread outlives this call.
  std::vector<platform::Handle> handles;
  std::transform(threads.begin(), threads.end(), std::back_inserter(handles),
                 [](const platform::ScopedHandle& thread) { return thread.get(); });
  for (std::size_t at = 0; at < handles.size(); at += platform::kMaximumWaitObjects) {
    const std::span<const platform::Handle> group(
        handles.data() + at, std::min(platform::kMaximumWaitObjects, handles.size() - at));
    if (!runtime.WaitForThreads(group)) {
      for (platform::Handle thread : group) runtime.WaitForThread(thread);
    }
  }
  return codes::TerminationResult::kDone;
}

codes::ProcessEndResult SystemRemovalOperations::TerminateProcessById(std::uint32_t processId) {
  platform::System& system = systemContext_.system();
  platform::Processes& processes = system.processes();
  {
    const platform::ScopedHandle process(
        system.runtime(), processes.OpenProcess(platform::kProcessSetInformation, processId));
    if (process.get() == 0 ||
        !processes.SetPriorityClass(process.get(), platform::kIdlePriorityClass)) {
      return codes::ProcessEndResult::kNotEnded;
    }
  }
  const platform::ScopedHandle process(
      system.runtime(), processes.OpenProcess(platform::kProcessAllAccess, processId));
  if (process.get() == 0 || !processes.TerminateProcess(process.get(), 0) ||
      processes.WaitForProcess(process.get(), kTerminationWaitMs) !=
          platform::ProcessWait::kEnded) {
    return codes::ProcessEndResult::kNotEnded;
  }
  // The termination threads count into the same statistics at once.
  std::atomic_ref<std::int32_t>(statistics_.terminatedProcesses).fetch_add(1);
  return codes::ProcessEndResult::kEnded;
}

}  // namespace removal
