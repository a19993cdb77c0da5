// The Win32 files: drives, directory listings, opening, reading, writing,
// deleting, moving, attributes and identities, the stream reading functions bound from
// KERNEL32.DLL and the shell's file operation bound from shell32.dll.
#include "platform/win32/areas.h"
// After <windows.h>, which it needs.
#include <shellapi.h>

#include "platform/win32/binding.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

using BackupReadProc = BOOL(WINAPI*)(HANDLE, LPBYTE, DWORD, LPDWORD, BOOL, BOOL, LPVOID*);
using BackupSeekProc = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, LPDWORD, LPDWORD, LPVOID*);
using ShFileOperationWProc = int(WINAPI*)(LPSHFILEOPSTRUCTW);
using ShFileOperationAProc = int(WINAPI*)(LPSHFILEOPSTRUCTA);

FindData ToFindData(const WIN32_FIND_DATAW& data) {
  FindData out;
  out.attributes = data.dwFileAttributes;
  out.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  std::size_t length = 0;
  while (length < MAX_PATH && data.cFileName[length] != L'\0') ++length;
  out.name.assign(reinterpret_cast<const char16_t*>(data.cFileName), length);
  return out;
}

class Win32Files final : public Files {
 public:
  DriveStrings GetLogicalDriveStringsWide(std::uint32_t bufferLength) override {
    std::wstring buffer(bufferLength, L'\0');
    const DWORD n = api::GetLogicalDriveStringsW(bufferLength, buffer.data());
    DriveStrings out{n, {}};
    if (n != 0 && n < bufferLength) {
      out.strings.assign(reinterpret_cast<const char16_t*>(buffer.data()), n + 1);
    }
    return out;
  }

  std::uint32_t GetDriveTypeWide(std::u16string_view rootPath) override {
    const std::u16string p(rootPath);
    return api::GetDriveTypeW(Wide(p));
  }

  std::optional<FindFirstResult> FindFirstFileWide(std::u16string_view pattern) override {
    const std::u16string p(pattern);
    WIN32_FIND_DATAW data{};
    HANDLE search = api::FindFirstFileW(Wide(p), &data);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    return FindFirstResult{ToHandle(search), ToFindData(data)};
  }

  std::optional<FindData> FindNextFileWide(Handle search) override {
    WIN32_FIND_DATAW data{};
    if (!api::FindNextFileW(FromHandle<void>(search), &data)) return std::nullopt;
    return ToFindData(data);
  }

  bool FindClose(Handle search) override { return ::FindClose(FromHandle<void>(search)) != FALSE; }

  bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) override {
    const std::u16string p(path);
    return api::SetFileAttributesW(Wide(p), attributes) != FALSE;
  }

  FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creationDisposition,
                                std::uint32_t flagsAndAttributes) override {
    const std::u16string p(path);
    HANDLE h = api::CreateFileW(Wide(p), access, shareMode, nullptr, creationDisposition,
                                flagsAndAttributes, nullptr);
    const DWORD error = ::GetLastError();
    return FileOpenResult{h == INVALID_HANDLE_VALUE ? 0 : ToHandle(h), error};
  }

  std::optional<FileIdentity> GetFileInformationByHandle(Handle file) override {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(FromHandle<void>(file), &information)) return std::nullopt;
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
  }

  std::optional<std::uint32_t> GetFileAttributesWide(std::u16string_view path) override {
    const std::u16string p(path);
    const DWORD attributes = api::GetFileAttributesW(Wide(p));
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
  }

  std::uint32_t CreateDirectoryWide(std::u16string_view path) override {
    const std::u16string p(path);
    return api::CreateDirectoryW(Wide(p), nullptr) != FALSE ? 0 : ::GetLastError();
  }

  bool RemoveDirectoryWide(std::u16string_view path) override {
    const std::u16string p(path);
    return api::RemoveDirectoryW(Wide(p)) != FALSE;
  }

  bool DeleteFileWide(std::u16string_view path) override {
    const std::u16string p(path);
    return api::DeleteFileW(Wide(p)) != FALSE;
  }

  FileMoveResult MoveFileWide(std::u16string_view from, std::u16string_view to) override {
    const std::u16string f(from);
    const std::u16string t(to);
    if (api::MoveFileW(Wide(f), Wide(t)) != FALSE) return FileMoveResult{true, 0};
    return FileMoveResult{false, ::GetLastError()};
  }

  bool MoveFileExWide(std::u16string_view from, std::optional<std::u16string_view> to,
                      std::uint32_t flags) override {
    const std::u16string f(from);
    const std::u16string t(to.value_or(u""));
    return api::MoveFileExW(Wide(f), to ? Wide(t) : nullptr, flags) != FALSE;
  }

  std::optional<std::u16string> GetShortPathNameWide(std::u16string_view path) override {
    const std::u16string p(path);
    std::wstring buffer(MAX_PATH + 1, L'\0');
    // The answer is the length written, or the room needed when it did not
    // fit (which the path may change between two calls).
    for (int attempt = 0; attempt < 4; ++attempt) {
      const DWORD n =
          api::GetShortPathNameW(Wide(p), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::nullopt;
      if (n < buffer.size())
        return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), n);
      buffer.assign(n + 1, L'\0');
    }
    return std::nullopt;
  }

  std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                              std::uint32_t moveMethod) override {
    LONG high = static_cast<LONG>(distance >> 32);
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(FromHandle<void>(file),
                                       static_cast<LONG>(distance & 0xFFFFFFFF), &high, moveMethod);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return std::nullopt;
    return (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  }

  bool SetEndOfFile(Handle file) override {
    return ::SetEndOfFile(FromHandle<void>(file)) != FALSE;
  }

  std::optional<std::uint64_t> GetFileSize(Handle file) override {
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(FromHandle<void>(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return std::nullopt;
    return (static_cast<std::uint64_t>(high) << 32) | low;
  }

  std::optional<std::uint32_t> ReadFile(Handle file, std::span<std::uint8_t> buffer) override {
    DWORD read = 0;
    if (!::ReadFile(FromHandle<void>(file), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                    nullptr)) {
      return std::nullopt;
    }
    return read;
  }

  std::optional<std::uint32_t> WriteFile(Handle file,
                                         std::span<const std::uint8_t> bytes) override {
    DWORD written = 0;
    if (!::WriteFile(FromHandle<void>(file), bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr)) {
      return std::nullopt;
    }
    return written;
  }

  BackupReadFunction BindBackupRead(Handle module) override {
    const auto proc = BindFunction<BackupReadProc>(module, "BackupRead");
    if (proc == nullptr) return {};
    return [proc](Handle file, std::span<std::uint8_t> buffer, bool abort, bool processSecurity,
                  std::uint64_t& context) -> BackupReadResult {
      void* state = FromHandle<void>(context);
      DWORD read = 0;
      const BOOL ok = proc(FromHandle<void>(file), buffer.data(), static_cast<DWORD>(buffer.size()),
                           &read, abort ? TRUE : FALSE, processSecurity ? TRUE : FALSE, &state);
      const DWORD error = ok ? NO_ERROR : ::GetLastError();
      context = ToHandle(state);
      if (!ok) return BackupReadResult{std::nullopt, error};
      return BackupReadResult{read, 0};
    };
  }

  BackupSeekFunction BindBackupSeek(Handle module) override {
    const auto proc = BindFunction<BackupSeekProc>(module, "BackupSeek");
    if (proc == nullptr) return {};
    return [proc](Handle file, std::uint64_t distance, std::uint64_t& context) {
      void* state = FromHandle<void>(context);
      DWORD low = 0;
      DWORD high = 0;
      const BOOL ok = proc(FromHandle<void>(file), static_cast<DWORD>(distance & 0xFFFFFFFF),
                           static_cast<DWORD>(distance >> 32), &low, &high, &state);
      context = ToHandle(state);
      return BackupSeekResult{ok != FALSE, (static_cast<std::uint64_t>(high) << 32) | low};
    };
  }

  ShFileOperationFunction BindShFileOperation(Handle library) override {
    // Windows 9x/ME have the narrow function only.
    if (api::CurrentFamily() == api::Family::kWindows9x) {
      const auto proc = BindFunction<ShFileOperationAProc>(library, "SHFileOperationA");
      if (proc == nullptr) return {};
      return [proc](const ShellFileOperation& operation) -> int {
        const auto from = api::ToAnsiExact(std::wstring_view(
            reinterpret_cast<const wchar_t*>(operation.from.data()), operation.from.size()));
        const auto to = api::ToAnsiExact(std::wstring_view(
            reinterpret_cast<const wchar_t*>(operation.to.data()), operation.to.size()));
        if (!from || !to) return ERROR_NO_UNICODE_TRANSLATION;
        SHFILEOPSTRUCTA shell{};
        shell.wFunc = operation.function;
        shell.pFrom = from->c_str();
        shell.pTo = operation.to.empty() ? nullptr : to->c_str();
        shell.fFlags = operation.flags;
        return proc(&shell);
      };
    }
    const auto proc = BindFunction<ShFileOperationWProc>(library, "SHFileOperationW");
    if (proc == nullptr) return {};
    return [proc](const ShellFileOperation& operation) -> int {
      SHFILEOPSTRUCTW shell{};
      shell.wFunc = operation.function;
      shell.pFrom = reinterpret_cast<const wchar_t*>(operation.from.c_str());
      shell.pTo =
          operation.to.empty() ? nullptr : reinterpret_cast<const wchar_t*>(operation.to.c_str());
      shell.fFlags = operation.flags;
      return proc(&shell);
    };
  }
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<Win32Files>(); }

}  // namespace platform::win32
