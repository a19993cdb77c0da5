#include "removal/system_operations.h"

namespace removal {

int SystemRemovalOperations::ShowPopup(scan::ScanContext& /*context*/,
                                       std::u16string_view /*text*/) {
  return 1;
}

}  // namespace removal
