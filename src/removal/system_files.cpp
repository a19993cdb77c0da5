#include "removal/system_operations.h"

namespace removal {

int SystemRemovalOperations::CleanIniFile(scan::ScanContext& /*context*/,
                                          std::u16string_view /*fileName*/, int /*which*/) {
  return 2;
}
int SystemRemovalOperations::RestoreHosts(scan::ScanContext& /*context*/) { return 2; }
int SystemRemovalOperations::RemoveFromHosts(scan::ScanContext& /*context*/,
                                             std::u16string_view /*name*/) {
  return 2;
}

}  // namespace removal
