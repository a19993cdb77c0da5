// The registry of the fake platform.
#include "platform/fake/fake_registry.h"

#include <algorithm>
#include <stdexcept>

#include "common/text.h"
#include "platform/fake/fake_case.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

// Key handles lie apart from the other handles of the fake.
constexpr RegistryKey kKeyHandleBase = 0x70000;

bool IsRoot(RegistryKey key) { return key >= kHkeyClassesRoot && key <= kHkeyDynData; }

// The names of `path`, or nothing when one of them is empty (a trailing
// backslash aside).
std::optional<std::vector<std::u16string>> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> names;
  if (path.empty()) return names;
  if (path.back() == u'\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find(u'\\', start);
    const std::u16string_view name = path.substr(start, end - start);
    if (name.empty()) return std::nullopt;
    names.emplace_back(name);
    if (end == std::u16string_view::npos) return names;
    start = end + 1;
  }
}

// The key at `names` below `key`, or nullptr.
FakeRegistryKey* Walk(FakeRegistryKey* key, const std::vector<std::u16string>& names) {
  for (const std::u16string& name : names) {
    if (key == nullptr) return nullptr;
    const auto it = key->subkeys.find(name);
    key = it == key->subkeys.end() ? nullptr : &it->second;
  }
  return key;
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  text::AppendUtf16Le(bytes, text);
  return bytes;
}

}  // namespace

bool RegistryNameLess::operator()(const std::u16string& a, const std::u16string& b) const {
  return NtUpper(a) < NtUpper(b);
}

FakeRegistryValue* FakeRegistryKey::FindValue(std::u16string_view name) {
  for (auto& [valueName, value] : values) {
    if (text::EqualsNoCase(valueName, name)) return &value;
  }
  return nullptr;
}

// --- The state, for tests ---

FakeRegistry::FakeRegistry() {
  for (RegistryKey root :
       {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers, kHkeyCurrentConfig}) {
    roots[root];
  }
}

FakeRegistryKey& FakeRegistry::AddKey(RegistryKey root, std::u16string_view path) {
  const auto names = SplitPath(path);
  if (!names) throw std::invalid_argument("a registry path with an empty name");
  FakeRegistryKey* key = &roots[root];
  for (const std::u16string& name : *names) key = &key->subkeys[name];
  return *key;
}

void FakeRegistry::SetValue(RegistryKey root, std::u16string_view path, std::u16string_view name,
                            std::uint32_t type, std::vector<std::uint8_t> data) {
  FakeRegistryKey& key = AddKey(root, path);
  if (FakeRegistryValue* value = key.FindValue(name)) {
    *value = FakeRegistryValue{type, std::move(data)};
  } else {
    key.values.emplace_back(std::u16string(name), FakeRegistryValue{type, std::move(data)});
  }
}

void FakeRegistry::SetString(RegistryKey root, std::u16string_view path, std::u16string_view name,
                             std::u16string_view text, std::uint32_t type) {
  SetValue(root, path, name, type, Utf16Bytes(std::u16string(text) + u'\0'));
}

void FakeRegistry::SetDword(RegistryKey root, std::u16string_view path, std::u16string_view name,
                            std::uint32_t number) {
  SetValue(root, path, name, kRegDword,
           {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

FakeRegistryKey* FakeRegistry::FindKey(RegistryKey root, std::u16string_view path) {
  const auto it = roots.find(root);
  const auto names = SplitPath(path);
  return it == roots.end() || !names ? nullptr : Walk(&it->second, *names);
}

std::optional<FakeRegistryValue> FakeRegistry::FindValue(RegistryKey root, std::u16string_view path,
                                                         std::u16string_view name) {
  FakeRegistryKey* key = FindKey(root, path);
  FakeRegistryValue* value = key == nullptr ? nullptr : key->FindValue(name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

// --- Handles ---

FakeRegistryArea::Resolved FakeRegistryArea::Resolve(RegistryKey key, std::uint32_t neededAccess) {
  Resolved resolved;
  if (IsRoot(key)) {
    resolved.where.root = key;
    resolved.access = kKeyAllAccess;
  } else {
    const auto it = handles_.find(key);
    if (it == handles_.end()) {
      resolved.status = kErrorInvalidHandle;
      return resolved;
    }
    resolved.where = it->second;
    resolved.access = it->second.access;
  }
  const auto root = system_.registryTree.roots.find(resolved.where.root);
  if (root == system_.registryTree.roots.end()) {
    resolved.status = kErrorInvalidHandle;
    return resolved;
  }
  resolved.key = Walk(&root->second, resolved.where.path);
  if (resolved.key == nullptr) {
    resolved.status = kErrorKeyDeleted;
  } else if ((resolved.access & neededAccess) != neededAccess) {
    resolved.status = kErrorAccessDenied;
  }
  return resolved;
}

RegistryKey FakeRegistryArea::NewHandle(OpenKey where) {
  const RegistryKey handle = kKeyHandleBase + system_.NextHandle();
  handles_[handle] = std::move(where);
  return handle;
}

// --- Keys ---

RegistryOpenResult FakeRegistryArea::RegOpenKeyExWide(RegistryKey key, std::u16string_view subKey,
                                                      std::uint32_t access) {
  system_.registryTree.openAccesses.push_back(access);
  if (system_.RefusedByNarrowPath(subKey)) return {kErrorNoUnicodeTranslation, 0};
  Resolved parent = Resolve(key, 0);
  if (parent.status != kErrorSuccess) return {parent.status, 0};
  const auto names = SplitPath(subKey);
  if (!names) return {kErrorBadPathname, 0};
  const FakeRegistryKey* opened = Walk(parent.key, *names);
  if (opened == nullptr) return {kErrorFileNotFound, 0};
  if ((opened->deniedAccess & access) != 0) return {kErrorAccessDenied, 0};
  OpenKey where = parent.where;
  where.path.insert(where.path.end(), names->begin(), names->end());
  where.access = access;
  return {kErrorSuccess, NewHandle(std::move(where))};
}

RegistryCreateResult FakeRegistryArea::RegCreateKeyExWide(RegistryKey key,
                                                          std::u16string_view subKey,
                                                          std::uint32_t /*options*/,
                                                          std::uint32_t access) {
  system_.registryTree.openAccesses.push_back(access);
  if (system_.RefusedByNarrowPath(subKey)) return {kErrorNoUnicodeTranslation, 0, 0};
  Resolved parent = Resolve(key, 0);
  if (parent.status != kErrorSuccess) return {parent.status, 0, 0};
  const auto names = SplitPath(subKey);
  if (!names) return {kErrorBadPathname, 0, 0};
  FakeRegistryKey* at = parent.key;
  std::uint32_t disposition = kRegOpenedExistingKey;
  for (std::size_t i = 0; i < names->size(); ++i) {
    const auto it = at->subkeys.find((*names)[i]);
    if (it != at->subkeys.end()) {
      at = &it->second;
      continue;
    }
    // A new key needs the right to create it in the handle it starts from.
    if (at->changesFail || (i == 0 && (parent.access & kKeyCreateSubKey) == 0)) {
      return {kErrorAccessDenied, 0, 0};
    }
    at = &at->subkeys[(*names)[i]];
    disposition = kRegCreatedNewKey;
  }
  if ((at->deniedAccess & access) != 0) return {kErrorAccessDenied, 0, 0};
  OpenKey where = parent.where;
  where.path.insert(where.path.end(), names->begin(), names->end());
  where.access = access;
  return {kErrorSuccess, NewHandle(std::move(where)), disposition};
}

std::uint32_t FakeRegistryArea::RegCloseKey(RegistryKey key) {
  if (IsRoot(key)) return kErrorSuccess;
  return handles_.erase(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

std::uint32_t FakeRegistryArea::RegDeleteKeyWide(RegistryKey key, std::u16string_view subKey) {
  if (system_.RefusedByNarrowPath(subKey)) return kErrorNoUnicodeTranslation;
  Resolved parent = Resolve(key, 0);
  if (parent.status != kErrorSuccess) return parent.status;
  auto names = SplitPath(subKey);
  if (!names) return kErrorBadPathname;
  // The root keys themselves cannot be deleted.
  if (names->empty() && parent.where.path.empty()) return kErrorAccessDenied;
  std::vector<std::u16string> full = parent.where.path;
  full.insert(full.end(), names->begin(), names->end());
  const std::u16string last = full.back();
  full.pop_back();
  FakeRegistryKey* owner = Walk(&system_.registryTree.roots.at(parent.where.root), full);
  if (owner == nullptr) return kErrorFileNotFound;
  const auto it = owner->subkeys.find(last);
  if (it == owner->subkeys.end()) return kErrorFileNotFound;
  if (owner->changesFail || (it->second.deniedAccess & kKeyDelete) != 0) {
    return kErrorAccessDenied;
  }
  const bool ninetyX = system_.version && system_.version->platformId == kPlatformWin32Windows;
  if (!ninetyX && !it->second.subkeys.empty()) return kErrorAccessDenied;
  owner->subkeys.erase(it);
  return kErrorSuccess;
}

RegistryKeyInfo FakeRegistryArea::RegQueryInfoKeyWide(RegistryKey key) {
  const Resolved resolved = Resolve(key, kKeyQueryValue);
  if (resolved.status != kErrorSuccess) return {resolved.status, 0, 0};
  return {kErrorSuccess, static_cast<std::uint32_t>(resolved.key->subkeys.size()),
          static_cast<std::uint32_t>(resolved.key->values.size())};
}

RegistrySubkey FakeRegistryArea::RegEnumKeyExWide(RegistryKey key, std::uint32_t index,
                                                  std::uint32_t nameChars) {
  system_.registryTree.nameBufferChars.push_back(nameChars);
  const Resolved resolved = Resolve(key, kKeyEnumerateSubKeys);
  if (resolved.status != kErrorSuccess) return {resolved.status, {}};
  if (index >= resolved.key->subkeys.size()) return {kErrorNoMoreItems, {}};
  const std::u16string& name = std::next(resolved.key->subkeys.begin(), index)->first;
  if (name.size() >= nameChars) return {kErrorMoreData, {}};
  return {kErrorSuccess, name};
}

// --- Values ---

std::uint32_t FakeRegistryArea::RegDeleteValueWide(RegistryKey key, std::u16string_view valueName) {
  if (system_.RefusedByNarrowPath(valueName)) return kErrorNoUnicodeTranslation;
  const Resolved resolved = Resolve(key, kKeySetValue);
  if (resolved.status != kErrorSuccess) return resolved.status;
  auto& values = resolved.key->values;
  const auto it = std::find_if(values.begin(), values.end(), [&](const auto& value) {
    return text::EqualsNoCase(value.first, valueName);
  });
  if (it == values.end()) return kErrorFileNotFound;
  if (resolved.key->changesFail) return kErrorAccessDenied;
  values.erase(it);
  return kErrorSuccess;
}

RegistryValueData FakeRegistryArea::RegQueryValueExWide(RegistryKey key,
                                                        std::u16string_view valueName,
                                                        std::uint32_t bufferBytes) {
  system_.registryTree.dataBufferBytes.push_back(bufferBytes);
  RegistryValueData result;
  if (system_.RefusedByNarrowPath(valueName)) {
    result.status = kErrorNoUnicodeTranslation;
    return result;
  }
  const Resolved resolved = Resolve(key, kKeyQueryValue);
  result.status = resolved.status;
  if (result.status != kErrorSuccess) return result;
  const FakeRegistryValue* value = resolved.key->FindValue(valueName);
  if (value == nullptr) {
    result.status = kErrorFileNotFound;
    return result;
  }
  result.type = value->type;
  result.size = static_cast<std::uint32_t>(value->data.size());
  if (value->data.size() > bufferBytes) {
    result.status = kErrorMoreData;
  } else {
    result.data = value->data;
  }
  return result;
}

std::uint32_t FakeRegistryArea::RegSetValueExWide(RegistryKey key, std::u16string_view valueName,
                                                  std::uint32_t type,
                                                  std::span<const std::uint8_t> data) {
  if (system_.RefusedByNarrowPath(valueName)) return kErrorNoUnicodeTranslation;
  const Resolved resolved = Resolve(key, kKeySetValue);
  if (resolved.status != kErrorSuccess) return resolved.status;
  if (resolved.key->changesFail) return kErrorAccessDenied;
  std::vector<std::uint8_t> bytes(data.begin(), data.end());
  if (FakeRegistryValue* value = resolved.key->FindValue(valueName)) {
    *value = FakeRegistryValue{type, std::move(bytes)};
  } else {
    resolved.key->values.emplace_back(std::u16string(valueName),
                                      FakeRegistryValue{type, std::move(bytes)});
  }
  return kErrorSuccess;
}

RegistryValueData FakeRegistryArea::RegEnumValueWide(RegistryKey key, std::uint32_t index,
                                                     std::uint32_t nameChars,
                                                     std::uint32_t dataBytes) {
  system_.registryTree.nameBufferChars.push_back(nameChars);
  system_.registryTree.dataBufferBytes.push_back(dataBytes);
  RegistryValueData result;
  const Resolved resolved = Resolve(key, kKeyQueryValue);
  result.status = resolved.status;
  if (result.status != kErrorSuccess) return result;
  if (index >= resolved.key->values.size()) {
    result.status = kErrorNoMoreItems;
    return result;
  }
  const auto& [name, value] = resolved.key->values[index];
  if (name.size() >= nameChars) {
    result.status = kErrorMoreData;
    return result;
  }
  result.name = name;
  result.type = value.type;
  result.size = static_cast<std::uint32_t>(value.data.size());
  if (value.data.size() > dataBytes) {
    result.status = kErrorMoreData;
  } else {
    result.data = value.data;
  }
  return result;
}

}  // namespace platform::fake
