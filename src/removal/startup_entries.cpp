#include "removal/startup_entries.h"

#include <string>

#include "common/text.h"
#include "removal/registry_operations.h"

namespace removal {

codes::RunEntriesResult RemoveStartupValues(scan::RemovalOperations& operations,
                                            platform::Registry& registry, const StartupKeys& where,
                                            std::u16string_view fileName) {
  using codes::RunEntriesResult;
  if (fileName.empty()) return RunEntriesResult::kNotCleaned;
  // Deletes the values of one key whose string data names the file; false
  // when a deletion failed and that ends the cleaning.
  const auto clean = [&](std::u16string_view root, std::u16string_view subkey) {
    const auto values = operations.EnumerateValues(root, subkey);
    if (!values) return true;
    for (const scan::RegistryValue& value : *values) {
      // Data cut short by the read limit matches nothing.
      if (value.type != scan::kRegSz || !value.dataComplete) continue;
      if (text::FindNoCase(StringData(value), fileName) == std::u16string_view::npos) continue;
      if (operations.RemoveRegistryValue(root, subkey, value.name) !=
              codes::ValueRemovalResult::kDeleted &&
          where.failureEnds) {
        return false;
      }
    }
    return true;
  };
  for (const StartupRoot root : where.roots) {
    if (root == StartupRoot::kEveryUserProfile) {
      constexpr std::u16string_view kUsers = u"HKEY_USERS";
      const auto profiles = EnumerateSubkeys(registry, kUsers);
      if (!profiles) return RunEntriesResult::kNotCleaned;
      for (const std::u16string& profile : *profiles) {
        for (const std::u16string_view key : where.keys) {
          if (!clean(kUsers, std::u16string(profile).append(u"\\").append(key))) {
            return RunEntriesResult::kNotCleaned;
          }
        }
      }
      continue;
    }
    const std::u16string_view name =
        root == StartupRoot::kLocalMachine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
    for (const std::u16string_view key : where.keys) {
      if (!clean(name, key)) return RunEntriesResult::kNotCleaned;
    }
  }
  return RunEntriesResult::kCleaned;
}

}  // namespace removal
