// The registry: opening, creating and deleting keys, reading, writing,
// listing and deleting values, and listing subkeys.
//
// Every operation answers the Windows error code of its call (0 for
// success) with what the call filled in. Buffers are the caller's choice: a
// name or data that does not fit answers kErrorMoreData, and nothing of it is
// given back, as the caller cannot tell what the system left in a buffer that
// was too small.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// An open key (HKEY), or one of the predefined root keys; 0 stands for none.
using RegistryKey = std::uint64_t;

// The predefined root keys as Windows numbers them.
inline constexpr RegistryKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegistryKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegistryKey kHkeyLocalMachine = 0x80000002;
inline constexpr RegistryKey kHkeyUsers = 0x80000003;
inline constexpr RegistryKey kHkeyPerformanceData = 0x80000004;
inline constexpr RegistryKey kHkeyCurrentConfig = 0x80000005;
inline constexpr RegistryKey kHkeyDynData = 0x80000006;

// Key access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyDelete = 0x10000;  // DELETE
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
// RegCreateKeyExW options and dispositions.
inline constexpr std::uint32_t kRegOptionNonVolatile = 0;
inline constexpr std::uint32_t kRegCreatedNewKey = 1;
inline constexpr std::uint32_t kRegOpenedExistingKey = 2;
// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Answers of the registry calls.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;

// RegOpenKeyExW: the status and, on success, the key (closed with
// RegCloseKey).
struct RegistryOpenResult {
  std::uint32_t status = 0;
  RegistryKey key = 0;
};
// RegCreateKeyExW: the status and, on success, the key (closed with
// RegCloseKey) and whether it was created (kRegCreatedNewKey) or existed
// (kRegOpenedExistingKey).
struct RegistryCreateResult {
  std::uint32_t status = 0;
  RegistryKey key = 0;
  std::uint32_t disposition = 0;
};
// RegQueryInfoKeyW: the status and, on success, the numbers of subkeys and
// values.
struct RegistryKeyInfo {
  std::uint32_t status = 0;
  std::uint32_t subKeys = 0;
  std::uint32_t values = 0;
};
// RegQueryValueExW and RegEnumValueW: the status; on success the value's
// type, the size of its data (lpcbData as answered) and the data. On
// kErrorMoreData, when the data did not fit, the type and size without the
// data (and RegEnumValueW's name); nothing when RegEnumValueW's name did not
// fit.
struct RegistryValueData {
  std::uint32_t status = 0;
  std::u16string name;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;
};
// RegEnumKeyExW: the status and, on success, the subkey's name.
struct RegistrySubkey {
  std::uint32_t status = 0;
  std::u16string name;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW(key, subKey, 0, access): an empty subKey opens a new
  // handle to `key` itself.
  virtual RegistryOpenResult RegOpenKeyExWide(RegistryKey key, std::u16string_view subKey,
                                              std::uint32_t access) = 0;
  // RegCreateKeyExW(key, subKey, 0, no class, options, access, default
  // security): opens the key, creating it and any missing key on its path.
  virtual RegistryCreateResult RegCreateKeyExWide(RegistryKey key, std::u16string_view subKey,
                                                  std::uint32_t options, std::uint32_t access) = 0;
  // RegCloseKey.
  virtual std::uint32_t RegCloseKey(RegistryKey key) = 0;
  // RegDeleteKeyW: Windows 9x/ME delete the key with all its subkeys; the NT
  // family refuses a key that has subkeys (access denied).
  virtual std::uint32_t RegDeleteKeyWide(RegistryKey key, std::u16string_view subKey) = 0;
  // RegDeleteValueW; an empty name is the key's default value.
  virtual std::uint32_t RegDeleteValueWide(RegistryKey key, std::u16string_view valueName) = 0;
  // RegQueryValueExW with a data buffer of `bufferBytes` bytes.
  virtual RegistryValueData RegQueryValueExWide(RegistryKey key, std::u16string_view valueName,
                                                std::uint32_t bufferBytes) = 0;
  // RegSetValueExW with `data` as it is to be stored (the terminating zero of
  // a string is part of it or not, as the caller wants).
  virtual std::uint32_t RegSetValueExWide(RegistryKey key, std::u16string_view valueName,
                                          std::uint32_t type,
                                          std::span<const std::uint8_t> data) = 0;
  // RegQueryInfoKeyW: the numbers of subkeys and values.
  virtual RegistryKeyInfo RegQueryInfoKeyWide(RegistryKey key) = 0;
  // RegEnumValueW of value `index` with a name buffer of `nameChars`
  // characters (its terminating zero included) and a data buffer of
  // `dataBytes` bytes; kErrorNoMoreItems past the last value.
  virtual RegistryValueData RegEnumValueWide(RegistryKey key, std::uint32_t index,
                                             std::uint32_t nameChars, std::uint32_t dataBytes) = 0;
  // RegEnumKeyExW of subkey `index` with a name buffer of `nameChars`
  // characters (its terminating zero included); kErrorNoMoreItems past the
  // last subkey.
  virtual RegistrySubkey RegEnumKeyExWide(RegistryKey key, std::uint32_t index,
                                          std::uint32_t nameChars) = 0;
};

}  // namespace platform
