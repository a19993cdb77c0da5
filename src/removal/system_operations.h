// The removal operations over the real system: what the engine hands to the
// removal driver and the built-in handlers. Each area's operations are
// defined with that area: registry_operations.cpp, file_operations.cpp,
// system_files.cpp, process_termination.cpp, popup.cpp.
#pragma once

#include "removal/handled_files.h"
#include "scan/removal_operations.h"
#include "scan/scan_context.h"

namespace removal {

class SystemRemovalOperations final : public scan::RemovalOperations {
 public:
  int RemoveRunEntries(scan::ScanContext& context, std::u16string_view fileName) override;
  int RemoveRegistryKey(scan::ScanContext& context, std::u16string_view rootName,
                        std::u16string_view subkey) override;
  int RemoveRegistryValue(scan::ScanContext& context, std::u16string_view rootName,
                          std::u16string_view subkey, std::u16string_view valueName) override;
  int ReplaceRegistryValue(scan::ScanContext& context, std::u16string_view rootName,
                           std::u16string_view subkey, std::u16string_view valueName,
                           std::u16string_view oldContent, std::u16string_view newContent) override;
  int AddRegistryKey(scan::ScanContext& context, std::u16string_view rootName,
                     std::u16string_view subkey) override;
  int AddRegistryValue(scan::ScanContext& context, std::u16string_view rootName,
                       std::u16string_view subkey, std::u16string_view valueName,
                       std::optional<std::u16string_view> typeName,
                       std::optional<std::u16string_view> data) override;
  std::optional<std::vector<scan::RegistryValue>> EnumerateValues(
      scan::ScanContext& context, std::u16string_view rootName,
      std::u16string_view subkey) override;

  int RemoveFile(scan::ScanContext& context, std::u16string_view path) override;
  int RenameFile(scan::ScanContext& context, std::u16string_view oldPath,
                 std::u16string_view newPath) override;

  int CleanIniFile(scan::ScanContext& context, std::u16string_view fileName, int which) override;
  int RestoreHosts(scan::ScanContext& context) override;
  int RemoveFromHosts(scan::ScanContext& context, std::u16string_view name) override;

  void FindProcessesByName(scan::ScanContext& context, std::u16string_view name,
                           std::vector<scan::ProcessRecord>& list) override;
  int TerminateProcesses(scan::ScanContext& context,
                         const std::vector<scan::ProcessRecord>* list) override;
  int TerminateProcessById(scan::ScanContext& context, std::uint32_t processId) override;

  int ShowPopup(scan::ScanContext& context, std::u16string_view text) override;

  const HandledFiles& handledFiles() const { return handledFiles_; }

 private:
  HandledFiles handledFiles_;
};

}  // namespace removal
