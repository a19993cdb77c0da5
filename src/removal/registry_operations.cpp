#include "removal/system_operations.h"

namespace removal {

int SystemRemovalOperations::RemoveRunEntries(scan::ScanContext& /*context*/,
                                              std::u16string_view /*fileName*/) {
  return 2;
}
int SystemRemovalOperations::RemoveRegistryKey(scan::ScanContext& /*context*/,
                                               std::u16string_view /*rootName*/,
                                               std::u16string_view /*subkey*/) {
  return 0;
}
int SystemRemovalOperations::RemoveRegistryValue(scan::ScanContext& /*context*/,
                                                 std::u16string_view /*rootName*/,
                                                 std::u16string_view /*subkey*/,
                                                 std::u16string_view /*valueName*/) {
  return -1;
}
int SystemRemovalOperations::ReplaceRegistryValue(scan::ScanContext& /*context*/,
                                                  std::u16string_view /*rootName*/,
                                                  std::u16string_view /*subkey*/,
                                                  std::u16string_view /*valueName*/,
                                                  std::u16string_view /*oldContent*/,
                                                  std::u16string_view /*newContent*/) {
  return 2;
}
int SystemRemovalOperations::AddRegistryKey(scan::ScanContext& /*context*/,
                                            std::u16string_view /*rootName*/,
                                            std::u16string_view /*subkey*/) {
  return 2;
}
int SystemRemovalOperations::AddRegistryValue(scan::ScanContext& /*context*/,
                                              std::u16string_view /*rootName*/,
                                              std::u16string_view /*subkey*/,
                                              std::u16string_view /*valueName*/,
                                              std::optional<std::u16string_view> /*typeName*/,
                                              std::optional<std::u16string_view> /*data*/) {
  return 2;
}
std::optional<std::vector<scan::RegistryValue>> SystemRemovalOperations::EnumerateValues(
    scan::ScanContext& /*context*/, std::u16string_view /*rootName*/,
    std::u16string_view /*subkey*/) {
  return std::nullopt;
}

}  // namespace removal
