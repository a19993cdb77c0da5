// Files of the Wine tests that run in a prefix of their own: where the test
// program and its samples are, reading and writing a file whole, and running
// a sample program, and deleting a registry key with its subkeys, with the
// plain API.
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

// Writes `bytes` as the whole file at `path`, replacing it.
inline bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

// What a program run prints on its standard output, and its exit code.
struct Run {
  std::string output;
  DWORD exitCode = 0;
};

// Runs `program` with its standard output and error into a pipe and waits
// for its end (at most 20 s, then it is terminated with 99). Nothing when it
// cannot be started.
inline std::optional<Run> RunProgram(const std::wstring& program) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::nullopt;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + program + L"\"";
  const BOOL started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
  ::CloseHandle(writeEnd);
  if (!started) {
    ::CloseHandle(readEnd);
    return std::nullopt;
  }
  Run run;
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got != 0) {
    run.output.append(buffer, got);
  }
  ::CloseHandle(readEnd);
  if (::WaitForSingleObject(info.hProcess, 20000) != WAIT_OBJECT_0) {
    ::TerminateProcess(info.hProcess, 99);
    ::WaitForSingleObject(info.hProcess, 5000);
  }
  ::GetExitCodeProcess(info.hProcess, &run.exitCode);
  ::CloseHandle(info.hProcess);
  ::CloseHandle(info.hThread);
  return run;
}

// Deletes `path` below `root` with every key below it.
inline void DeleteTree(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  wchar_t name[256];
  DWORD length = 256;
  while (::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    DeleteTree(key, std::wstring(name, length));
    length = 256;
  }
  ::RegCloseKey(key);
  ::RegDeleteKeyW(root, path.c_str());
}

}  // namespace qrt_test
