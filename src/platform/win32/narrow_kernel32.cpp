// The narrow adapters of KERNEL32's wide functions: files, folders, modules,
// the version and profile files, answering as the wide functions do.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/win32/text_functions.h"

namespace platform::win32::api::narrow {
namespace {

// The answer of GetSystemDirectory and its kind: the length without the zero
// when the text fits with it, else the size it needs with it, the buffer
// left as it was.
UINT CopyOrNeed(std::wstring_view text, LPWSTR buffer, UINT size) {
  if (buffer != nullptr && text.size() < size) {
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return static_cast<UINT>(text.size());
  }
  return static_cast<UINT>(text.size() + 1);
}

// The whole text of a narrow function that answers the length it wrote, or
// the size it needs (zero included) when the buffer is too small, or 0 on
// failure (with its error kept).
template <typename Call>
std::optional<std::wstring> QueryNarrow(Call call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) return FromAnsi(buffer.data(), n);
    buffer.assign(n + 1, '\0');
  }
  return std::nullopt;
}

}  // namespace

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name) {
  const NarrowText n(name);
  if (!n.ok()) return NoTranslation<HANDLE>(nullptr);
  return ::CreateMutexA(attributes, initialOwner, n.get());
}

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  return ::CreateFileA(n.get(), desiredAccess, shareMode, attributes, creationDisposition,
                       flagsAndAttributes, templateFile);
}

BOOL WINAPI SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetFileAttributesA(n.get(), fileAttributes);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<DWORD>(INVALID_FILE_ATTRIBUTES);
  return ::GetFileAttributesA(n.get());
}

BOOL WINAPI DeleteFileW(LPCWSTR fileName) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::DeleteFileA(n.get());
}

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes) {
  const NarrowText n(pathName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::CreateDirectoryA(n.get(), attributes);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR pathName) {
  const NarrowText n(pathName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::RemoveDirectoryA(n.get());
}

BOOL WINAPI MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::MoveFileA(from.get(), to.get());
}

BOOL WINAPI MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::MoveFileExA(from.get(), to.get(), flags);
}

BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::CopyFileA(from.get(), to.get(), failIfExists);
}

UINT WINAPI GetDriveTypeW(LPCWSTR rootPathName) {
  const NarrowText n(rootPathName);
  if (!n.ok()) return NoTranslation<UINT>(DRIVE_NO_ROOT_DIR);
  return ::GetDriveTypeA(n.get());
}

DWORD WINAPI GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer) {
  // Root strings are plain ASCII ("C:\\"): one narrow character each.
  std::string narrow(bufferLength + 1, '\0');
  const DWORD n = ::GetLogicalDriveStringsA(bufferLength, narrow.data());
  if (n == 0 || n >= bufferLength || buffer == nullptr) return n;
  for (DWORD i = 0; i <= n; ++i) buffer[i] = static_cast<unsigned char>(narrow[i]);
  return n;
}

namespace {

// The wide form of a narrow listing entry; false when its name has no wide
// form that fits.
bool WideFindData(const WIN32_FIND_DATAA& narrow, LPWIN32_FIND_DATAW wide) {
  wide->dwFileAttributes = narrow.dwFileAttributes;
  wide->ftCreationTime = narrow.ftCreationTime;
  wide->ftLastAccessTime = narrow.ftLastAccessTime;
  wide->ftLastWriteTime = narrow.ftLastWriteTime;
  wide->nFileSizeHigh = narrow.nFileSizeHigh;
  wide->nFileSizeLow = narrow.nFileSizeLow;
  wide->dwReserved0 = narrow.dwReserved0;
  wide->dwReserved1 = narrow.dwReserved1;
  const auto length = [](const auto& field) {
    return static_cast<std::size_t>(std::find(std::begin(field), std::end(field), '\0') -
                                    std::begin(field));
  };
  const auto name = FromAnsi(narrow.cFileName, length(narrow.cFileName));
  const auto shortName = FromAnsi(narrow.cAlternateFileName, length(narrow.cAlternateFileName));
  if (name.size() >= MAX_PATH || shortName.size() >= 14) return false;
  std::copy(name.begin(), name.end(), wide->cFileName);
  wide->cFileName[name.size()] = L'\0';
  std::copy(shortName.begin(), shortName.end(), wide->cAlternateFileName);
  wide->cAlternateFileName[shortName.size()] = L'\0';
  return true;
}

}  // namespace

HANDLE WINAPI FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAA narrow{};
  HANDLE search = ::FindFirstFileA(n.get(), &narrow);
  if (search == INVALID_HANDLE_VALUE) return search;
  if (!WideFindData(narrow, findData)) {
    ::FindClose(search);
    return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  }
  return search;
}

BOOL WINAPI FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW findData) {
  WIN32_FIND_DATAA narrow{};
  // An entry whose name has no wide form is passed over.
  while (::FindNextFileA(search, &narrow)) {
    if (WideFindData(narrow, findData)) return TRUE;
  }
  return FALSE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
  const NarrowText n(moduleName);
  if (!n.ok()) return NoTranslation<HMODULE>(nullptr);
  return ::GetModuleHandleA(n.get());
}

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HMODULE>(nullptr);
  return ::LoadLibraryA(n.get());
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  // The whole name first: a narrow answer that fills the buffer may be cut.
  std::string path(MAX_PATH + 1, '\0');
  DWORD n = 0;
  for (;;) {
    n = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return 0;
    if (n + 1 < path.size() || path.size() > 0x10000) break;
    path.assign(path.size() * 2, '\0');
  }
  const std::wstring wide = FromAnsi(path.data(), std::min<std::size_t>(n, path.size()));
  // As the wide function: cut to `size` characters, with the terminating zero
  // only when it fits.
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(size, wide.size()));
  if (fileName == nullptr) return 0;
  std::copy_n(wide.begin(), length, fileName);
  if (length < size) {
    fileName[length] = L'\0';
  } else {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  return length;
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetSystemDirectoryA(narrow, room); });
  return path ? CopyOrNeed(*path, buffer, size) : 0;
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetWindowsDirectoryA(narrow, room); });
  return path ? CopyOrNeed(*path, buffer, size) : 0;
}

DWORD WINAPI GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetTempPathA(room, narrow); });
  if (!path) return 0;
  const UINT n = CopyOrNeed(*path, buffer, bufferLength);
  // The wide function clears the rest of the buffer (up to 32767 characters),
  // and all of it when the path does not fit.
  if (buffer != nullptr) {
    const std::size_t from = n > path->size() ? 0 : path->size();
    const std::size_t to = std::min<std::size_t>(bufferLength, 32767);
    if (from < to) std::fill(buffer + from, buffer + to, L'\0');
  }
  return n;
}

DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size) {
  const NarrowText n(longPath);
  if (!n.ok()) return NoTranslation<DWORD>(0);
  const auto path = QueryNarrow(
      [&n](char* narrow, UINT room) { return ::GetShortPathNameA(n.get(), narrow, room); });
  return path ? CopyOrNeed(*path, shortPath, size) : 0;
}

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
  if (info == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OSVERSIONINFOEXA narrow{};
  narrow.dwOSVersionInfoSize =
      size == sizeof(OSVERSIONINFOW) ? sizeof(OSVERSIONINFOA) : sizeof(OSVERSIONINFOEXA);
  if (!::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&narrow))) return FALSE;
  info->dwMajorVersion = narrow.dwMajorVersion;
  info->dwMinorVersion = narrow.dwMinorVersion;
  info->dwBuildNumber = narrow.dwBuildNumber;
  info->dwPlatformId = narrow.dwPlatformId;
  const std::size_t room = std::size(info->szCSDVersion);
  const std::wstring csd =
      FromAnsi(narrow.szCSDVersion, ::strnlen(narrow.szCSDVersion, sizeof narrow.szCSDVersion));
  std::fill_n(info->szCSDVersion, room, L'\0');
  std::copy_n(csd.begin(), std::min(csd.size(), room - 1), info->szCSDVersion);
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
    ex->wServicePackMajor = narrow.wServicePackMajor;
    ex->wServicePackMinor = narrow.wServicePackMinor;
    ex->wSuiteMask = narrow.wSuiteMask;
    ex->wProductType = narrow.wProductType;
    ex->wReserved = narrow.wReserved;
  }
  return TRUE;
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR string,
                                       LPCWSTR fileName) {
  const NarrowText app(appName);
  const NarrowText key(keyName);
  const NarrowText value(string);
  const NarrowText file(fileName);
  if (!app.ok() || !key.ok() || !value.ok() || !file.ok()) return NoTranslation<BOOL>(FALSE);
  return ::WritePrivateProfileStringA(app.get(), key.get(), value.get(), file.get());
}

namespace {

// A list of zero-ended strings put into a wide buffer as the wide profile
// functions do: whole with one more zero when there is room for two more
// characters, else cut after `size` - 2 characters and ended by two zeros.
DWORD PutStringList(std::wstring_view list, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = L'\0';
    return 0;
  }
  if (list.size() + 2 <= size) {
    std::copy(list.begin(), list.end(), buffer);
    buffer[list.size()] = L'\0';
    return static_cast<DWORD>(list.size());
  }
  std::copy_n(list.begin(), size - 2, buffer);
  buffer[size - 2] = L'\0';
  buffer[size - 1] = L'\0';
  return size - 2;
}

// Calls a narrow function that fills a list of zero-ended strings, with
// room for two bytes per wide character (a double-byte code page), and puts
// the list into the wide buffer.
template <typename Call>
DWORD NarrowStringList(Call call, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const DWORD bytes = std::min<DWORD>(size, 0x3FFFFFFF) * 2;
  std::string narrow(bytes, '\0');
  const DWORD n = std::min<DWORD>(call(narrow.data(), bytes), bytes);
  return PutStringList(FromAnsi(narrow.data(), n), buffer, size);
}

}  // namespace

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  const NarrowText file(fileName);
  if (!file.ok()) {
    PutStringList({}, buffer, size);
    return NoTranslation<DWORD>(0);
  }
  return NarrowStringList(
      [&](LPSTR narrow, DWORD bytes) {
        return ::GetPrivateProfileSectionNamesA(narrow, bytes, file.get());
      },
      buffer, size);
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR appName, LPWSTR buffer, DWORD size,
                                       LPCWSTR fileName) {
  const NarrowText app(appName);
  const NarrowText file(fileName);
  if (!app.ok() || !file.ok()) {
    PutStringList({}, buffer, size);
    return NoTranslation<DWORD>(0);
  }
  return NarrowStringList(
      [&](LPSTR narrow, DWORD bytes) {
        return ::GetPrivateProfileSectionA(app.get(), narrow, bytes, file.get());
      },
      buffer, size);
}

}  // namespace platform::win32::api::narrow
