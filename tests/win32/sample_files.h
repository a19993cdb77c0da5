// Files of the Wine tests that run in a prefix of their own: where the test
// program and its samples are, and reading a file whole, with the plain API.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrt_test {

// The folder of this program, with its final backslash (C:\ in the prefix),
// where the samples are copied.
inline std::wstring Folder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The bytes of the file at `path`, or nothing when it cannot be read whole.
inline std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::uint8_t> bytes(::GetFileSize(file, nullptr));
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  if (!ok || read != bytes.size()) return std::nullopt;
  return bytes;
}

}  // namespace qrt_test
