// The registry operations: start-up entries, keys and values.
//
// Every key an operation opens is closed before it returns, on every path.
// Value data is read with a limit of limits::kRegistryDataBytes bytes: data
// that does not fit matches nothing, so that no comparison ever reads past
// what was read, and string data is read as at most half that many
// characters whether or not it ends in a zero.
#include "removal/registry_operations.h"

#include <array>
#include <utility>

#include "common/bytes.h"
#include "common/limits.h"
#include "common/text.h"
#include "removal/startup_entries.h"
#include "removal/system_operations.h"
#include "signatures/hex_codec.h"

namespace removal {
namespace {

using platform::Registry;
using platform::RegistryKey;

// An open key, closed when it goes.
class OpenKey {
 public:
  OpenKey(Registry& registry, RegistryKey key) : registry_(registry), key_(key) {}
  ~OpenKey() { Close(); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  explicit operator bool() const { return key_ != 0; }
  RegistryKey get() const { return key_; }
  // Closes the key now: false when RegCloseKey fails.
  bool Close() {
    return key_ == 0 || registry_.RegCloseKey(std::exchange(key_, 0)) == platform::kErrorSuccess;
  }

 private:
  Registry& registry_;
  RegistryKey key_;
};

// `subkey` of `root` opened with KEY_ALL_ACCESS (none when it cannot be).
OpenKey Open(Registry& registry, RegistryKey root, std::u16string_view subkey) {
  const platform::RegistryOpenResult opened =
      registry.RegOpenKeyExWide(root, subkey, platform::kKeyAllAccess);
  return OpenKey(registry, opened.status == platform::kErrorSuccess ? opened.key : 0);
}

std::vector<std::uint8_t> DwordBytes(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

// A text of decimal digits only (at least one) as a number; nothing for any
// other text or a number past 32 bits.
std::optional<std::uint32_t> DigitsOnly(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t number = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - u'0');
    if (number > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(number);
}

// The number at the start of `text` as the C library's decimal readers take
// it: blanks skipped, an optional sign, then the digits up to the first other
// character (none gives 0); a minus gives the number's two's complement.
// Nothing for a number past 32 bits.
std::optional<std::uint32_t> LeadingNumber(std::u16string_view text) {
  std::size_t at = text.find_first_not_of(u" \t");
  if (at == std::u16string_view::npos) return 0;
  const bool negative = text[at] == u'-';
  if (text[at] == u'-' || text[at] == u'+') ++at;
  std::size_t end = at;
  while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') ++end;
  if (end == at) return 0;
  const auto number = DigitsOnly(text.substr(at, end - at));
  if (!number) return std::nullopt;
  return negative ? 0u - *number : *number;
}

// The data of a new value of `type` from the text of an ADD_REG_VALUE
// action, or nothing when it cannot be made.
std::optional<std::vector<std::uint8_t>> NewValueData(platform::Runtime& runtime,
                                                      std::uint32_t type,
                                                      std::optional<std::u16string_view> data) {
  std::vector<std::uint8_t> bytes;
  if (type == scan::kRegBinary) {
    if (!data) return bytes;
    // Converted into a buffer of limits::kRegistryDataBytes with its zero.
    const auto ansi = runtime.WideToAnsi(*data);
    if (!ansi || ansi->size() >= limits::kRegistryDataBytes) return std::nullopt;
    return signatures::HexDecodeLenient(*ansi, nullptr);
  }
  if (type == scan::kRegDword) {
    const auto number = data ? LeadingNumber(*data) : std::optional<std::uint32_t>(0);
    if (!number) return std::nullopt;
    return DwordBytes(*number);
  }
  // A string with its terminating zero; without data, two zero characters.
  if (!data) return std::vector<std::uint8_t>(4, 0);
  text::AppendUtf16Le(bytes, *data);
  bytes.insert(bytes.end(), 2, 0);
  return bytes;
}

}  // namespace

std::optional<platform::RegistryKey> RootKeyFromName(std::u16string_view name) {
  static constexpr std::pair<std::u16string_view, platform::RegistryKey> kRoots[] = {
      {u"HKEY_LOCAL_MACHINE", platform::kHkeyLocalMachine},
      {u"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
      {u"HKEY_USERS", platform::kHkeyUsers},
      {u"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
      {u"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
      {u"HKEY_PERFORMANCE_DATA", platform::kHkeyPerformanceData},
      {u"HKEY_DYN_DATA", platform::kHkeyDynData},
  };
  for (const auto& [rootName, key] : kRoots) {
    if (rootName == name) return key;
  }
  return std::nullopt;
}

std::uint32_t ValueTypeFromName(std::optional<std::u16string_view> name) {
  if (name && text::EqualsNoCase(*name, u"DWORD")) return scan::kRegDword;
  if (name && text::EqualsNoCase(*name, u"BINARY")) return scan::kRegBinary;
  return scan::kRegSz;
}

std::optional<std::vector<scan::RegistryValue>> EnumerateValues(Registry& registry,
                                                                std::u16string_view rootName,
                                                                std::u16string_view subkey) {
  const auto root = RootKeyFromName(rootName);
  if (!root) return std::nullopt;
  const OpenKey key = Open(registry, *root, subkey);
  if (!key) return std::nullopt;
  const platform::RegistryKeyInfo info = registry.RegQueryInfoKeyWide(key.get());
  if (info.status != platform::kErrorSuccess || info.values == 0) return std::nullopt;
  std::vector<scan::RegistryValue> values;
  for (std::uint32_t i = 0; i < info.values; ++i) {
    platform::RegistryValueData read = registry.RegEnumValueWide(
        key.get(), i, limits::kRegistryNameChars, limits::kRegistryDataBytes);
    if (read.status == platform::kErrorSuccess) {
      // The backend gives no more than the buffer; the limit is kept here too.
      if (read.data.size() > limits::kRegistryDataBytes) {
        read.data.resize(limits::kRegistryDataBytes);
      }
      values.push_back({std::move(read.name), read.type, std::move(read.data), true});
    } else if (read.status == platform::kErrorMoreData) {
      values.push_back({std::move(read.name), read.type, {}, false});
    } else {
      return std::nullopt;
    }
  }
  return values;
}

std::optional<std::vector<std::u16string>> EnumerateSubkeys(Registry& registry,
                                                            std::u16string_view rootName) {
  const auto root = RootKeyFromName(rootName);
  if (!root) return std::nullopt;
  const OpenKey key = Open(registry, *root, u"");
  if (!key) return std::nullopt;
  const platform::RegistryKeyInfo info = registry.RegQueryInfoKeyWide(key.get());
  if (info.status != platform::kErrorSuccess || info.subKeys == 0) return std::nullopt;
  std::vector<std::u16string> names;
  for (std::uint32_t i = 0; i < info.subKeys; ++i) {
    platform::RegistrySubkey subkey =
        registry.RegEnumKeyExWide(key.get(), i, limits::kRegistryNameChars);
    if (subkey.status != platform::kErrorSuccess) return std::nullopt;
    names.push_back(std::move(subkey.name));
  }
  return names;
}

std::u16string StringData(const scan::RegistryValue& value) {
  if (!value.dataComplete) return {};
  const std::size_t size = std::min<std::size_t>(value.data.size(), limits::kRegistryDataBytes);
  return bytes::Utf16LeUntilZero(std::span(value.data).first(size));
}

codes::RunEntriesResult SystemRemovalOperations::RemoveRunEntries(std::u16string_view fileName) {
  const codes::RunEntriesResult result =
      RemoveStartupValues(*this, system().registry(), kScriptStartupKeys, fileName);
  if (result == codes::RunEntriesResult::kCleaned) MarkRegistryChanged();
  return result;
}

codes::KeyRemovalResult SystemRemovalOperations::RemoveRegistryKey(std::u16string_view rootName,
                                                                   std::u16string_view subkey) {
  using codes::KeyRemovalResult;
  const auto root = RootKeyFromName(rootName);
  if (!root) return KeyRemovalResult::kNoRoot;
  // Without a subkey the call would name the root itself, which is never
  // deleted.
  if (subkey.empty()) return KeyRemovalResult::kNotDeleted;
  if (system().registry().RegDeleteKeyWide(*root, subkey) != platform::kErrorSuccess) {
    return KeyRemovalResult::kNotDeleted;
  }
  MarkRegistryChanged();
  return KeyRemovalResult::kDeleted;
}

codes::ValueRemovalResult SystemRemovalOperations::RemoveRegistryValue(
    std::u16string_view rootName, std::u16string_view subkey, std::u16string_view valueName) {
  using codes::ValueRemovalResult;
  const auto root = RootKeyFromName(rootName);
  if (!root) return ValueRemovalResult::kKeyNotOpened;
  Registry& registry = system().registry();
  OpenKey key = Open(registry, *root, subkey);
  if (!key) return ValueRemovalResult::kKeyNotOpened;
  const bool deleted = registry.RegDeleteValueWide(key.get(), valueName) == platform::kErrorSuccess;
  if (deleted) MarkRegistryChanged();
  if (!key.Close()) return ValueRemovalResult::kKeyNotOpened;
  return deleted ? ValueRemovalResult::kDeleted : ValueRemovalResult::kNotDeleted;
}

codes::ValueWriteResult SystemRemovalOperations::ReplaceRegistryValue(
    std::u16string_view rootName, std::u16string_view subkey, std::u16string_view valueName,
    std::u16string_view oldContent, std::u16string_view newContent) {
  using codes::ValueWriteResult;
  const auto root = RootKeyFromName(rootName);
  if (!root || subkey.empty() || valueName.empty()) return ValueWriteResult::kMissingArgument;
  Registry& registry = system().registry();
  const OpenKey key = Open(registry, *root, subkey);
  if (!key) return ValueWriteResult::kNotWritten;
  const platform::RegistryValueData read =
      registry.RegQueryValueExWide(key.get(), valueName, limits::kRegistryDataBytes);
  if (read.status != platform::kErrorSuccess) return ValueWriteResult::kNotWritten;
  std::vector<std::uint8_t> replacement;
  if (read.type == scan::kRegSz) {
    const std::u16string stored = StringData({std::u16string(valueName), read.type, read.data});
    if (!text::EqualsNoCase(stored, oldContent) || text::EqualsNoCase(stored, newContent))
      return ValueWriteResult::kNotWritten;
    // Stored with its terminating zero, as the system's own strings are: a
    // reader that takes the data as it is (not every program adds the zero
    // itself) must not run past the text.
    text::AppendUtf16Le(replacement, newContent);
    replacement.insert(replacement.end(), {0, 0});
  } else if (read.type == scan::kRegDword) {
    const auto oldNumber = DigitsOnly(oldContent);
    const auto newNumber = DigitsOnly(newContent);
    if (!oldNumber || !newNumber || read.data.size() < 4) return ValueWriteResult::kNotWritten;
    const auto stored = bytes::LittleEndian32(read.data, 0);
    if (stored != *oldNumber || stored == *newNumber) return ValueWriteResult::kNotWritten;
    replacement = DwordBytes(*newNumber);
  } else {
    return ValueWriteResult::kNotWritten;
  }
  if (registry.RegSetValueExWide(key.get(), valueName, read.type, replacement) !=
      platform::kErrorSuccess) {
    return ValueWriteResult::kNotWritten;
  }
  MarkRegistryChanged();
  return ValueWriteResult::kWritten;
}

codes::KeyCreationResult SystemRemovalOperations::AddRegistryKey(std::u16string_view rootName,
                                                                 std::u16string_view subkey) {
  using codes::KeyCreationResult;
  const auto root = RootKeyFromName(rootName);
  if (!root || subkey.empty()) return KeyCreationResult::kMissingArgument;
  Registry& registry = system().registry();
  const platform::RegistryCreateResult created =
      registry.RegCreateKeyExWide(*root, subkey, platform::kRegOptionNonVolatile, 0);
  if (created.status != platform::kErrorSuccess) return KeyCreationResult::kFailed;
  const OpenKey key(registry, created.key);
  if (created.disposition != platform::kRegCreatedNewKey) return KeyCreationResult::kExisted;
  MarkRegistryChanged();
  return KeyCreationResult::kCreated;
}

codes::ValueWriteResult SystemRemovalOperations::AddRegistryValue(
    std::u16string_view rootName, std::u16string_view subkey, std::u16string_view valueName,
    std::optional<std::u16string_view> typeName, std::optional<std::u16string_view> data) {
  using codes::ValueWriteResult;
  const auto root = RootKeyFromName(rootName);
  if (!root || valueName.empty()) return ValueWriteResult::kMissingArgument;
  Registry& registry = system().registry();
  const OpenKey key = Open(registry, *root, subkey);
  if (!key) return ValueWriteResult::kNotWritten;
  if (const auto values = removal::EnumerateValues(registry, rootName, subkey)) {
    for (const scan::RegistryValue& value : *values) {
      if (text::EqualsNoCase(value.name, valueName)) return ValueWriteResult::kNotWritten;
    }
  }
  const std::uint32_t type = ValueTypeFromName(typeName);
  const auto bytes = NewValueData(system().runtime(), type, data);
  if (!bytes) return ValueWriteResult::kNotWritten;
  if (registry.RegSetValueExWide(key.get(), valueName, type, *bytes) != platform::kErrorSuccess) {
    return ValueWriteResult::kNotWritten;
  }
  MarkRegistryChanged();
  return ValueWriteResult::kWritten;
}

std::optional<std::vector<scan::RegistryValue>> SystemRemovalOperations::EnumerateValues(
    std::u16string_view rootName, std::u16string_view subkey) {
  return removal::EnumerateValues(system().registry(), rootName, subkey);
}

}  // namespace removal
