// Files: opening, writing and attributes, and reading a file's streams
// through the functions bound at run time for it (BackupRead, BackupSeek).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace platform {

// CreateFileW access, sharing, creation and attribute values.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kTruncateExisting = 5;
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
// SetFilePointer move methods.
inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileCurrent = 1;
inline constexpr std::uint32_t kFileEnd = 2;
// Last errors of the file operations.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;

// Result of CreateFileW: the handle (0 for INVALID_HANDLE_VALUE) and the last
// error right after the call (kErrorAlreadyExists when OPEN_ALWAYS or
// CREATE_ALWAYS met an existing file).
struct FileOpenResult {
  Handle handle = 0;
  std::uint32_t lastError = 0;
};

// --- Stream reading (BackupRead, BackupSeek; bound at run time) ---

// BackupRead(file, buffer, bytes, &read, abort, processSecurity, &context):
// the number of bytes read into `buffer`, or nothing when it fails.
// `context` starts at 0 and is kept between the calls on one file; a last
// call with `abort` set releases it.
using BackupReadFunction = std::function<std::optional<std::uint32_t>(
    Handle file, std::span<std::uint8_t> buffer, bool abort, bool processSecurity,
    std::uint64_t& context)>;
// BackupSeek(file, low, high, &lowSeeked, &highSeeked, &context) over the
// current stream's data.
struct BackupSeekResult {
  bool succeeded = false;  // the whole distance was skipped
  std::uint64_t seeked = 0;
};
using BackupSeekFunction =
    std::function<BackupSeekResult(Handle file, std::uint64_t distance, std::uint64_t& context)>;

class Files {
 public:
  virtual ~Files() = default;

  // SetFileAttributesW: false when the attributes cannot be set.
  virtual bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) = 0;
  // CreateFileW without security attributes or template file.
  virtual FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                        std::uint32_t shareMode, std::uint32_t creationDisposition,
                                        std::uint32_t flagsAndAttributes) = 0;
  // SetFilePointer with a 64-bit distance: the new position from the start of
  // the file, or nothing when the move fails.
  virtual std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                                      std::uint32_t moveMethod) = 0;
  // SetEndOfFile at the current position: false when it fails.
  virtual bool SetEndOfFile(Handle file) = 0;
  // WriteFile at the current position (at most 4 GB less one byte at once):
  // the number of bytes written, or nothing when the call fails.
  virtual std::optional<std::uint32_t> WriteFile(Handle file,
                                                 std::span<const std::uint8_t> bytes) = 0;

  // GetProcAddress of "BackupRead" and "BackupSeek" in `module` (a handle
  // of GetModuleHandleWide or LoadLibraryWide): an empty function when it
  // lacks them.
  virtual BackupReadFunction BindBackupRead(Handle module) = 0;
  virtual BackupSeekFunction BindBackupSeek(Handle module) = 0;
};

}  // namespace platform
