// The removal operations over the real system: what the engine hands to the
// removal driver and the built-in handlers. Each area's operations are
// defined with that area: registry_operations.cpp, file_operations.cpp,
// system_files.cpp, process_termination.cpp, popup.cpp.
#pragma once

#include <atomic>

#include "removal/handled_files.h"
#include "scan/removal_operations.h"
#include "scan/statistics.h"
#include "system/system_context.h"

namespace removal {

class SystemRemovalOperations final : public scan::RemovalOperations {
 public:
  // Over `systemContext`; the operations count into `statistics` and set
  // `rebootRequired` when a removal is left for the next start. All three
  // must outlive the operations.
  SystemRemovalOperations(sys::SystemContext& systemContext, scan::ScanStatistics& statistics,
                          std::atomic<bool>& rebootRequired)
      : systemContext_(systemContext), statistics_(statistics), rebootRequired_(rebootRequired) {}
  SystemRemovalOperations(const SystemRemovalOperations&) = delete;
  SystemRemovalOperations& operator=(const SystemRemovalOperations&) = delete;

  codes::RunEntriesResult RemoveRunEntries(std::u16string_view fileName) override;
  codes::KeyRemovalResult RemoveRegistryKey(std::u16string_view rootName,
                                            std::u16string_view subkey) override;
  codes::ValueRemovalResult RemoveRegistryValue(std::u16string_view rootName,
                                                std::u16string_view subkey,
                                                std::u16string_view valueName) override;
  codes::ValueWriteResult ReplaceRegistryValue(std::u16string_view rootName,
                                               std::u16string_view subkey,
                                               std::u16string_view valueName,
                                               std::u16string_view oldContent,
                                               std::u16string_view newContent) override;
  codes::KeyCreationResult AddRegistryKey(std::u16string_view rootName,
                                          std::u16string_view subkey) override;
  codes::ValueWriteResult AddRegistryValue(std::u16string_view rootName, std::u16string_view subkey,
                                           std::u16string_view valueName,
                                           std::optional<std::u16string_view> typeName,
                                           std::optional<std::u16string_view> data) override;
  std::optional<std::vector<scan::RegistryValue>> EnumerateValues(
      std::u16string_view rootName, std::u16string_view subkey) override;

  codes::FileRemovalResult RemoveFile(std::u16string_view path) override;
  codes::FileRenameResult RenameFile(std::u16string_view oldPath,
                                     std::u16string_view newPath) override;

  codes::SystemFileResult CleanIniFile(std::u16string_view fileName, int which) override;
  codes::SystemFileResult RestoreHosts() override;
  codes::HostsRemovalResult RemoveFromHosts(std::u16string_view name) override;

  void FindProcessesByName(std::u16string_view name,
                           std::vector<scan::ProcessRecord>& list) override;
  codes::TerminationResult TerminateProcesses(
      const std::vector<scan::ProcessRecord>* list) override;
  codes::ProcessEndResult TerminateProcessById(std::uint32_t processId) override;

  codes::PopupResult ShowPopup(std::u16string_view text) override;

  const HandledFiles& handledFiles() const { return handledFiles_; }

 private:
  platform::System& system() { return systemContext_.system(); }
  void MarkRegistryChanged() { statistics_.registryChanged = 1; }

  sys::SystemContext& systemContext_;
  scan::ScanStatistics& statistics_;
  std::atomic<bool>& rebootRequired_;
  HandledFiles handledFiles_;
};

}  // namespace removal
