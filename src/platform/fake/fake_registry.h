// The registry of the fake platform: root keys with their subkeys and typed
// values, keys that refuse access or changes, and the handles the program
// opens on them.
//
// Names of keys and values are compared without regard to case and keep the
// case they were created in. Subkeys are listed in the order of their names
// without regard to case, values in the order they were first written, as
// the NT family lists them. A handle names its key by path: once the key is
// deleted, calls on the handle answer ERROR_KEY_DELETED. A path with an empty
// name in it (two backslashes in a row, a leading backslash) is refused with
// ERROR_BAD_PATHNAME; one trailing backslash is ignored.
//
// RegDeleteKeyW follows the system's family (FakeSystem::version): Windows
// 9x/ME delete the key with all its subkeys, the NT family refuses a key
// with subkeys (access denied). On Windows 9x/ME a key or value name outside
// the ANSI code page is refused (ERROR_NO_UNICODE_TRANSLATION), as the Win32
// backend's narrow path refuses it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"

namespace platform::fake {

// Errors the fake registry answers beyond those of registry.h and files.h
// (kErrorFileNotFound, kErrorAccessDenied, kErrorInvalidHandle).
inline constexpr std::uint32_t kErrorBadPathname = 161;
inline constexpr std::uint32_t kErrorKeyDeleted = 1018;
inline constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

struct FakeRegistryValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// Orders names without regard to case.
struct RegistryNameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};

struct FakeRegistryKey {
  std::map<std::u16string, FakeRegistryKey, RegistryNameLess> subkeys;
  std::vector<std::pair<std::u16string, FakeRegistryValue>> values;
  // Opening it asking for any of these rights is refused (access denied),
  // as is deleting it when DELETE is among them.
  std::uint32_t deniedAccess = 0;
  // It opens, but writing or deleting its values and creating or deleting
  // its subkeys fail (access denied), as in a hive that cannot be written.
  bool changesFail = false;

  // The value `name`, or nullptr.
  FakeRegistryValue* FindValue(std::u16string_view name);
};

struct FakeRegistry {
  // The root keys that exist, by their predefined value: at first
  // HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and
  // HKEY_CURRENT_CONFIG, all empty. Calls on another root answer
  // ERROR_INVALID_HANDLE.
  std::map<RegistryKey, FakeRegistryKey> roots;

  FakeRegistry();

  // --- For tests: set-up and read-back by path below a root ---

  // The key at `path` ("A\\B"), created with every key on the way.
  FakeRegistryKey& AddKey(RegistryKey root, std::u16string_view path);
  // Writes value `name` of the key at `path` (created when missing).
  void SetValue(RegistryKey root, std::u16string_view path, std::u16string_view name,
                std::uint32_t type, std::vector<std::uint8_t> data);
  // A string value stored as UTF-16 with its terminating zero.
  void SetString(RegistryKey root, std::u16string_view path, std::u16string_view name,
                 std::u16string_view text, std::uint32_t type = kRegSz);
  void SetDword(RegistryKey root, std::u16string_view path, std::u16string_view name,
                std::uint32_t number);
  // The key at `path`, or nullptr.
  FakeRegistryKey* FindKey(RegistryKey root, std::u16string_view path);
  // Value `name` of the key at `path`, or nothing.
  std::optional<FakeRegistryValue> FindValue(RegistryKey root, std::u16string_view path,
                                             std::u16string_view name);

  // --- What the program did ---

  // The data buffers offered to RegQueryValueExW and RegEnumValueW, in
  // bytes, and the name buffers offered to RegEnumValueW and RegEnumKeyExW,
  // in characters, in order.
  std::vector<std::uint32_t> dataBufferBytes;
  std::vector<std::uint32_t> nameBufferChars;
  // The access asked of every RegOpenKeyExW and RegCreateKeyExW, in order.
  std::vector<std::uint32_t> openAccesses;
};

}  // namespace platform::fake
