#include "removal/system_operations.h"

namespace removal {

void SystemRemovalOperations::FindProcessesByName(scan::ScanContext& /*context*/,
                                                  std::u16string_view /*name*/,
                                                  std::vector<scan::ProcessRecord>& /*list*/) {}
int SystemRemovalOperations::TerminateProcesses(scan::ScanContext& /*context*/,
                                                const std::vector<scan::ProcessRecord>* list) {
  return list == nullptr ? 2 : 1;
}
int SystemRemovalOperations::TerminateProcessById(scan::ScanContext& /*context*/,
                                                  std::uint32_t /*processId*/) {
  return 0;
}

}  // namespace removal
