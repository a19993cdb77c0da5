// The narrow adapters of ADVAPI32's wide functions: privileges, the user
// name and the registry. String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// is converted between UTF-16 and the ANSI code page and sized in UTF-16
// bytes, as the wide functions answer it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/text_functions.h"

namespace platform::win32::api::narrow {
namespace {

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The data of a narrow registry call as the wide call gives it: string data
// in UTF-16, zeros and all, anything else unchanged.
std::vector<BYTE> WidenData(DWORD type, std::vector<BYTE> data) {
  if (!IsStringType(type) || data.empty()) return data;
  const std::wstring wide = FromAnsi(reinterpret_cast<const char*>(data.data()), data.size());
  std::vector<BYTE> out(wide.size() * sizeof(wchar_t));
  std::memcpy(out.data(), wide.data(), out.size());
  return out;
}

// Reads the whole data of a value with a narrow call `read(type, data,
// size)`: its size first, then the data (again when it grew in between).
template <typename Read>
LSTATUS ReadNarrowData(Read read, DWORD& type, std::vector<BYTE>& data) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LSTATUS status = read(&type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data.assign(size + 1, 0);
    status = read(&type, data.data(), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_SUCCESS) data.resize(std::min<std::size_t>(size, data.size() - 1));
    return status;
  }
  return ERROR_MORE_DATA;
}

// Gives value data as the wide functions do: the type, the size in
// `dataBytes`, and the data when `data` is offered and large enough
// (ERROR_MORE_DATA when not).
LSTATUS GiveData(DWORD type, const std::vector<BYTE>& wide, LPDWORD typeOut, LPBYTE data,
                 LPDWORD dataBytes) {
  if (typeOut != nullptr) *typeOut = type;
  if (dataBytes == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD offered = *dataBytes;
  *dataBytes = static_cast<DWORD>(wide.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (wide.size() > offered) return ERROR_MORE_DATA;
  std::copy(wide.begin(), wide.end(), data);
  return ERROR_SUCCESS;
}

// Gives a name of `length` ANSI bytes as the wide functions do: with its
// terminating zero and its length in characters in `chars` when it fits,
// else ERROR_MORE_DATA. A null `out` asks for nothing.
LSTATUS GiveName(const char* name, std::size_t length, LPWSTR out, LPDWORD chars) {
  if (out == nullptr) return ERROR_SUCCESS;
  if (chars == nullptr) return ERROR_INVALID_PARAMETER;
  const std::wstring wide = FromAnsi(name, length);
  if (wide.size() >= *chars) return ERROR_MORE_DATA;
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = L'\0';
  *chars = static_cast<DWORD>(wide.size());
  return ERROR_SUCCESS;
}

// Registry names have at most 16383 characters, of up to two bytes each in
// the ANSI code page.
constexpr DWORD kNarrowNameBytes = 2 * 16384;

}  // namespace

BOOL WINAPI LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid) {
  const NarrowText system(systemName);
  const NarrowText privilege(name);
  if (!system.ok() || !privilege.ok()) return NoTranslation<BOOL>(FALSE);
  return ::LookupPrivilegeValueA(system.get(), privilege.get(), luid);
}

BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size) {
  if (size == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The whole name first (user names have up to 256 characters).
  std::string name(257, '\0');
  DWORD n = static_cast<DWORD>(name.size());
  if (!::GetUserNameA(name.data(), &n)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || n <= name.size()) return FALSE;
    name.assign(n, '\0');
    n = static_cast<DWORD>(name.size());
    if (!::GetUserNameA(name.data(), &n)) return FALSE;
  }
  const std::wstring wide = FromAnsi(name.c_str(), std::strlen(name.c_str()));
  // As the wide function: the size with the terminating zero, given back
  // both when the name fits and when it does not.
  const DWORD needed = static_cast<DWORD>(wide.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(wide.begin(), wide.end(), buffer);
  buffer[wide.size()] = L'\0';
  *size = needed;
  return TRUE;
}

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                             PHKEY result) {
  const NarrowText n(subKey);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegOpenKeyExA(key, n.get(), options, desired, result);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                               DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES attributes,
                               PHKEY result, LPDWORD disposition) {
  const NarrowText n(subKey);
  const NarrowText c(keyClass);
  if (!n.ok() || !c.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegCreateKeyExA(key, n.get(), reserved, const_cast<LPSTR>(c.get()), options, desired,
                           attributes, result, disposition);
}

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  const NarrowText n(subKey);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegDeleteKeyA(key, n.get());
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegDeleteValueA(key, n.get());
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataBytes) {
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  DWORD narrowType = 0;
  std::vector<BYTE> narrowData;
  const LSTATUS status = ReadNarrowData(
      [&](LPDWORD t, LPBYTE d, LPDWORD size) {
        return ::RegQueryValueExA(key, n.get(), reserved, t, d, size);
      },
      narrowType, narrowData);
  if (status != ERROR_SUCCESS) return status;
  return GiveData(narrowType, WidenData(narrowType, std::move(narrowData)), type, data, dataBytes);
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD dataBytes) {
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  if (!IsStringType(type) || data == nullptr) {
    return ::RegSetValueExA(key, n.get(), reserved, type, data, dataBytes);
  }
  std::wstring wide(dataBytes / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
  const auto ansi = ToAnsi(wide);
  if (!ansi) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegSetValueExA(key, n.get(), reserved, type, reinterpret_cast<const BYTE*>(ansi->data()),
                          static_cast<DWORD>(ansi->size()));
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                                LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                                LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                                LPDWORD securityDescriptorBytes, PFILETIME lastWriteTime) {
  std::string narrowClass(kNarrowNameBytes, '\0');
  DWORD classLength = kNarrowNameBytes;
  const LSTATUS status =
      ::RegQueryInfoKeyA(key, keyClass != nullptr ? narrowClass.data() : nullptr,
                         keyClass != nullptr ? &classLength : nullptr, reserved, subKeys,
                         maxSubKeyChars, maxClassChars, values, maxValueNameChars, maxValueBytes,
                         securityDescriptorBytes, lastWriteTime);
  if (status != ERROR_SUCCESS) return status;
  if (maxValueBytes != nullptr) *maxValueBytes *= 2;
  return GiveName(narrowClass.data(), std::min<DWORD>(classLength, kNarrowNameBytes), keyClass,
                  classChars);
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  if (valueName == nullptr || valueNameChars == nullptr) return ERROR_INVALID_PARAMETER;
  std::string name(kNarrowNameBytes, '\0');
  DWORD nameLength = 0;
  DWORD narrowType = 0;
  std::vector<BYTE> narrowData;
  // The data is read whenever its size is asked for: only the UTF-16 form
  // tells the size of string data.
  const auto read = [&](LPDWORD t, LPBYTE d, LPDWORD size) {
    nameLength = kNarrowNameBytes;
    return ::RegEnumValueA(key, index, name.data(), &nameLength, reserved, t, d, size);
  };
  const LSTATUS status = dataBytes != nullptr ? ReadNarrowData(read, narrowType, narrowData)
                                              : read(&narrowType, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const LSTATUS named =
      GiveName(name.data(), std::min(nameLength, kNarrowNameBytes), valueName, valueNameChars);
  if (named != ERROR_SUCCESS) return named;
  return GiveData(narrowType, WidenData(narrowType, std::move(narrowData)), type, data, dataBytes);
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars,
                             LPDWORD reserved, LPWSTR keyClass, LPDWORD classChars,
                             PFILETIME lastWriteTime) {
  if (name == nullptr || nameChars == nullptr) return ERROR_INVALID_PARAMETER;
  std::string narrowName(kNarrowNameBytes, '\0');
  std::string narrowClass(kNarrowNameBytes, '\0');
  DWORD nameLength = kNarrowNameBytes;
  DWORD classLength = kNarrowNameBytes;
  const LSTATUS status =
      ::RegEnumKeyExA(key, index, narrowName.data(), &nameLength, reserved,
                      keyClass != nullptr ? narrowClass.data() : nullptr,
                      keyClass != nullptr ? &classLength : nullptr, lastWriteTime);
  if (status != ERROR_SUCCESS) return status;
  const LSTATUS named =
      GiveName(narrowName.data(), std::min(nameLength, kNarrowNameBytes), name, nameChars);
  if (named != ERROR_SUCCESS) return named;
  return GiveName(narrowClass.data(), std::min(classLength, kNarrowNameBytes), keyClass,
                  classChars);
}

}  // namespace platform::win32::api::narrow
