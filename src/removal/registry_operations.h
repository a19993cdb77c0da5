// The pieces of the registry operations that stand on their own: root and
// type names, the listings of a key's values and of a root's subkeys, and
// how listed string data is read. The operations themselves are members of
// SystemRemovalOperations (registry_operations.cpp).
//
// Listings read value names into buffers of limits::kRegistryNameChars
// characters and data into buffers of limits::kRegistryDataBytes bytes;
// every key they open is closed before they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "scan/removal_operations.h"

namespace removal {

// The predefined key of a full root name, compared exactly
// ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS",
// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_PERFORMANCE_DATA",
// "HKEY_DYN_DATA"); nothing for any other text.
std::optional<platform::RegistryKey> RootKeyFromName(std::u16string_view name);

// The value type of a type name, compared without regard to case: "DWORD"
// REG_DWORD, "BINARY" REG_BINARY, anything else (also none) REG_SZ.
std::uint32_t ValueTypeFromName(std::optional<std::u16string_view> name);

// The values of `subkey` under root `rootName`, opened with KEY_ALL_ACCESS:
// one element per value in listing order. A value whose data did not fit is
// kept with dataComplete false and no data. Nothing when there is no such
// root, the key cannot be opened or has no values, or any other listing
// error occurs.
std::optional<std::vector<scan::RegistryValue>> EnumerateValues(platform::Registry& registry,
                                                                std::u16string_view rootName,
                                                                std::u16string_view subkey);

// The names of the subkeys of root `rootName` itself, in listing order;
// nothing on any error (a name that does not fit is one) or when it has none.
std::optional<std::vector<std::u16string>> EnumerateSubkeys(platform::Registry& registry,
                                                            std::u16string_view rootName);

// The text of listed or read string data: the UTF-16 characters up to the
// first zero or the end of the data, of which there are at most
// limits::kRegistryDataBytes / 2; empty for data that did not fit.
std::u16string StringData(const scan::RegistryValue& value);

}  // namespace removal
