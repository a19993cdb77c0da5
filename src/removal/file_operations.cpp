#include <algorithm>

#include "common/text.h"
#include "removal/system_operations.h"

namespace removal {

bool HandledFiles::Contains(std::u16string_view path) const {
  return std::any_of(paths_.begin(), paths_.end(), [&](const std::u16string& handled) {
    return text::EqualsNoCase(handled, path);
  });
}
void HandledFiles::Add(std::u16string_view path) { paths_.emplace_back(path); }

int SystemRemovalOperations::RemoveFile(scan::ScanContext& /*context*/,
                                        std::u16string_view /*path*/) {
  return 2;
}
int SystemRemovalOperations::RenameFile(scan::ScanContext& /*context*/,
                                        std::u16string_view /*oldPath*/,
                                        std::u16string_view /*newPath*/) {
  return 2;
}

}  // namespace removal
