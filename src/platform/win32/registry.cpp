// The Win32 registry: keys and values through the text binding (the narrow
// functions on Windows 9x/ME).
#include <algorithm>

#include "platform/win32/areas.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

// A key of the platform layer as an HKEY. The predefined keys are 32-bit
// values sign-extended to a pointer's width, as <windows.h> defines them.
HKEY ToHkey(RegistryKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyDynData) {
    return reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(key))));
  }
  return FromHandle<HKEY__>(key);
}

std::uint32_t Status(LSTATUS status) { return static_cast<std::uint32_t>(status); }

// The name a registry call wrote into `buffer` (`length` characters as it
// answered, never more than the buffer holds before its last character).
std::u16string NameOf(const std::wstring& buffer, DWORD length) {
  const std::size_t n = std::min<std::size_t>(length, buffer.size() - 1);
  return FromWide(buffer.data(),
                  static_cast<std::size_t>(std::find(buffer.begin(), buffer.begin() + n, L'\0') -
                                           buffer.begin()));
}

class Win32Registry final : public Registry {
 public:
  RegistryOpenResult RegOpenKeyExWide(RegistryKey key, std::u16string_view subKey,
                                      std::uint32_t access) override {
    const std::u16string name(subKey);
    HKEY opened = nullptr;
    const LSTATUS status = api::RegOpenKeyExW(ToHkey(key), Wide(name), 0, access, &opened);
    if (status != ERROR_SUCCESS) return {Status(status), 0};
    return {kErrorSuccess, ToHandle(opened)};
  }

  RegistryCreateResult RegCreateKeyExWide(RegistryKey key, std::u16string_view subKey,
                                          std::uint32_t options, std::uint32_t access) override {
    const std::u16string name(subKey);
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = api::RegCreateKeyExW(ToHkey(key), Wide(name), 0, nullptr, options,
                                                access, nullptr, &created, &disposition);
    if (status != ERROR_SUCCESS) return {Status(status), 0, 0};
    return {kErrorSuccess, ToHandle(created), disposition};
  }

  std::uint32_t RegCloseKey(RegistryKey key) override { return Status(::RegCloseKey(ToHkey(key))); }

  std::uint32_t RegDeleteKeyWide(RegistryKey key, std::u16string_view subKey) override {
    const std::u16string name(subKey);
    return Status(api::RegDeleteKeyW(ToHkey(key), Wide(name)));
  }

  std::uint32_t RegDeleteValueWide(RegistryKey key, std::u16string_view valueName) override {
    const std::u16string name(valueName);
    return Status(api::RegDeleteValueW(ToHkey(key), Wide(name)));
  }

  RegistryValueData RegQueryValueExWide(RegistryKey key, std::u16string_view valueName,
                                        std::uint32_t bufferBytes) override {
    const std::u16string name(valueName);
    // One byte more than offered, so that an empty buffer is still a buffer.
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferBytes) + 1);
    DWORD type = 0;
    DWORD size = bufferBytes;
    RegistryValueData result;
    result.status = Status(
        api::RegQueryValueExW(ToHkey(key), Wide(name), nullptr, &type, buffer.data(), &size));
    if (result.status != kErrorSuccess && result.status != kErrorMoreData) return result;
    result.type = type;
    result.size = size;
    if (result.status == kErrorSuccess) {
      buffer.resize(std::min<std::size_t>(size, bufferBytes));
      result.data = std::move(buffer);
    }
    return result;
  }

  std::uint32_t RegSetValueExWide(RegistryKey key, std::u16string_view valueName,
                                  std::uint32_t type, std::span<const std::uint8_t> data) override {
    const std::u16string name(valueName);
    const std::uint8_t none = 0;
    return Status(api::RegSetValueExW(ToHkey(key), Wide(name), 0, type,
                                      data.empty() ? &none : data.data(),
                                      static_cast<DWORD>(data.size())));
  }

  RegistryKeyInfo RegQueryInfoKeyWide(RegistryKey key) override {
    DWORD subKeys = 0;
    DWORD values = 0;
    const LSTATUS status =
        api::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return {Status(status), 0, 0};
    return {kErrorSuccess, subKeys, values};
  }

  RegistryValueData RegEnumValueWide(RegistryKey key, std::uint32_t index, std::uint32_t nameChars,
                                     std::uint32_t dataBytes) override {
    std::wstring name(static_cast<std::size_t>(nameChars) + 1, L'\0');
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(dataBytes) + 1);
    DWORD nameLength = nameChars;
    DWORD type = 0;
    DWORD size = dataBytes;
    RegistryValueData result;
    result.status = Status(api::RegEnumValueW(ToHkey(key), index, name.data(), &nameLength, nullptr,
                                              &type, buffer.data(), &size));
    if (result.status == kErrorMoreData) {
      // Which of the two did not fit: asked again without data, the call
      // succeeds when the name fits, and then gives it and the data's size.
      nameLength = nameChars;
      const LSTATUS again = api::RegEnumValueW(ToHkey(key), index, name.data(), &nameLength,
                                               nullptr, &type, nullptr, &size);
      if (again != ERROR_SUCCESS) return result;
      result.name = NameOf(name, nameLength);
      result.type = type;
      result.size = size;
      return result;
    }
    if (result.status != kErrorSuccess) return result;
    result.name = NameOf(name, nameLength);
    result.type = type;
    result.size = size;
    buffer.resize(std::min<std::size_t>(size, dataBytes));
    result.data = std::move(buffer);
    return result;
  }

  RegistrySubkey RegEnumKeyExWide(RegistryKey key, std::uint32_t index,
                                  std::uint32_t nameChars) override {
    std::wstring name(static_cast<std::size_t>(nameChars) + 1, L'\0');
    DWORD nameLength = nameChars;
    const LSTATUS status = api::RegEnumKeyExW(ToHkey(key), index, name.data(), &nameLength, nullptr,
                                              nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return {Status(status), {}};
    return {kErrorSuccess, NameOf(name, nameLength)};
  }
};

}  // namespace

std::unique_ptr<Registry> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace platform::win32
