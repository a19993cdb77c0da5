// The Win32 files: drives, directory listings, opening, reading, writing,
// deleting and attributes, and the stream reading functions bound from KERNEL32.DLL.
#include "platform/win32/areas.h"
#include "platform/win32/binding.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

using BackupReadProc = BOOL(WINAPI*)(HANDLE, LPBYTE, DWORD, LPDWORD, BOOL, BOOL, LPVOID*);
using BackupSeekProc = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, LPDWORD, LPDWORD, LPVOID*);

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

  bool DeleteFileWide(std::u16string_view path) override {
    const std::u16string p(path);
    return api::DeleteFileW(Wide(p)) != FALSE;
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
                  std::uint64_t& context) -> std::optional<std::uint32_t> {
      void* state = FromHandle<void>(context);
      DWORD read = 0;
      const BOOL ok = proc(FromHandle<void>(file), buffer.data(), static_cast<DWORD>(buffer.size()),
                           &read, abort ? TRUE : FALSE, processSecurity ? TRUE : FALSE, &state);
      context = ToHandle(state);
      if (!ok) return std::nullopt;
      return read;
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
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<Win32Files>(); }

}  // namespace platform::win32
