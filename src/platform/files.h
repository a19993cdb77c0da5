// Files: drives, directory listings, opening, reading, writing, deleting,
// moving, attributes and identities, reading a file's streams through the functions bound
// at run time for it (BackupRead, BackupSeek), and the shell's file operation
// (SHFileOperationW, bound at run time).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// CreateFileW access, sharing, creation and attribute values.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kFileShareDelete = 0x4;
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
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
// With it CreateFileW opens folders too (on the NT family; Windows 9x/ME
// open no folder).
inline constexpr std::uint32_t kFileFlagBackupSemantics = 0x02000000;
// GetDriveTypeW answers.
inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;
inline constexpr std::uint32_t kDriveRamdisk = 6;
// SetFilePointer move methods.
inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileCurrent = 1;
inline constexpr std::uint32_t kFileEnd = 2;
// Last errors of the file operations.
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorCallNotImplemented = 120;
// MoveFileExW flags.
inline constexpr std::uint32_t kMoveFileReplaceExisting = 0x1;
inline constexpr std::uint32_t kMoveFileDelayUntilReboot = 0x4;
// SHFileOperationW functions and flags.
inline constexpr std::uint32_t kFoDelete = 3;
inline constexpr std::uint32_t kFoRename = 4;
inline constexpr std::uint16_t kFofNoConfirmation = 0x10;
inline constexpr std::uint16_t kFofNoErrorUi = 0x400;

// Result of CreateFileW: the handle (0 for INVALID_HANDLE_VALUE) and the last
// error right after the call (kErrorAlreadyExists when OPEN_ALWAYS or
// CREATE_ALWAYS met an existing file).
struct FileOpenResult {
  Handle handle = 0;
  std::uint32_t lastError = 0;
};

// Result of MoveFileW: whether the file was moved, and the last error right
// after a call that failed.
struct FileMoveResult {
  bool moved = false;
  std::uint32_t lastError = 0;
};

// One entry of a directory listing (WIN32_FIND_DATAW, the fields the program
// reads).
struct FindData {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;  // nFileSizeHigh and nFileSizeLow
  std::u16string name;     // cFileName
};
// FindFirstFileW: the search handle and the first entry.
struct FindFirstResult {
  Handle search = 0;
  FindData data;
};
// GetFileInformationByHandle: what identifies a file or folder (the fields
// the program reads); two handles of one folder, also one opened through a
// junction or mount point, give the same.
struct FileIdentity {
  std::uint32_t volumeSerialNumber = 0;
  std::uint64_t fileIndex = 0;  // nFileIndexHigh and nFileIndexLow
  auto operator<=>(const FileIdentity&) const = default;
};
// GetLogicalDriveStringsW(bufferLength, buffer): its answer and what it wrote
// into the buffer (the root strings, each ended by a zero character, and a
// last zero), when the answer is not 0 and is less than the buffer's length.
struct DriveStrings {
  std::uint32_t answer = 0;
  std::u16string strings;
};

// --- Stream reading (BackupRead, BackupSeek; bound at run time) ---

// BackupRead(file, buffer, bytes, &read, abort, processSecurity, &context):
// the number of bytes read into `buffer`, or nothing when it fails, with
// the last error then. `context` starts at 0 and is kept between the calls
// on one file; a last call with `abort` set releases it.
struct BackupReadResult {
  std::optional<std::uint32_t> read;
  std::uint32_t lastError = 0;  // after a failure
};
using BackupReadFunction =
    std::function<BackupReadResult(Handle file, std::span<std::uint8_t> buffer, bool abort,
                                   bool processSecurity, std::uint64_t& context)>;
// BackupSeek(file, low, high, &lowSeeked, &highSeeked, &context) over the
// current stream's data.
struct BackupSeekResult {
  bool succeeded = false;  // the whole distance was skipped
  std::uint64_t seeked = 0;
};
using BackupSeekFunction =
    std::function<BackupSeekResult(Handle file, std::uint64_t distance, std::uint64_t& context)>;

// --- The shell's file operation (SHFileOperationW; bound at run time) ---

// SHFILEOPSTRUCTW without owner window, progress title or results: `from`
// and `to` are lists of paths, each path followed by a zero character and
// the list by one more; an empty `to` stands for none (NULL).
struct ShellFileOperation {
  std::uint32_t function = 0;  // kFoDelete, kFoRename, ...
  std::u16string from;
  std::u16string to;
  std::uint16_t flags = 0;
};
// SHFileOperationW(&operation): the shell's answer, 0 when it succeeded.
using ShFileOperationFunction = std::function<int(const ShellFileOperation& operation)>;

// The calls that take a path fail for one longer than 259 characters
// (MAX_PATH with the terminating zero). On the NT family the same path behind
// "\\?\" ("\\?\C:\...") may be up to about 32767 characters long, taken as it is
// (no "/" for "\", no "." or ".." resolved); Windows 9x/ME know no such form.
class Files {
 public:
  virtual ~Files() = default;

  // GetLogicalDriveStringsW with a buffer of `bufferLength` characters.
  virtual DriveStrings GetLogicalDriveStringsWide(std::uint32_t bufferLength) = 0;
  // GetDriveTypeW of a root path ("C:\\"): one of the kDrive values.
  virtual std::uint32_t GetDriveTypeWide(std::u16string_view rootPath) = 0;
  // FindFirstFileW of `pattern`: nothing when the search cannot be started.
  virtual std::optional<FindFirstResult> FindFirstFileWide(std::u16string_view pattern) = 0;
  // FindNextFileW: the next entry, or nothing at the end (or on failure).
  virtual std::optional<FindData> FindNextFileWide(Handle search) = 0;
  // FindClose: false when the handle is no search.
  virtual bool FindClose(Handle search) = 0;

  // SetFileAttributesW: false when the attributes cannot be set.
  virtual bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) = 0;
  // CreateFileW without security attributes or template file.
  virtual FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                        std::uint32_t shareMode, std::uint32_t creationDisposition,
                                        std::uint32_t flagsAndAttributes) = 0;
  // GetFileInformationByHandle of a file or folder handle: its identity, or
  // nothing when the call fails.
  virtual std::optional<FileIdentity> GetFileInformationByHandle(Handle file) = 0;
  // GetFileAttributesW: the attributes of a file or folder, or nothing when
  // the call fails (missing, or a name that only the find functions reach).
  virtual std::optional<std::uint32_t> GetFileAttributesWide(std::u16string_view path) = 0;
  // CreateDirectoryW without security attributes: 0 when the folder was
  // made, else the last error (kErrorAlreadyExists when a folder or a file of
  // that name exists, kErrorPathNotFound when the folder above it does not).
  virtual std::uint32_t CreateDirectoryWide(std::u16string_view path) = 0;
  // RemoveDirectoryW: false when the folder cannot be removed (missing, not
  // empty, in use).
  virtual bool RemoveDirectoryWide(std::u16string_view path) = 0;
  // DeleteFileW: false when the file cannot be deleted (missing, read-only,
  // a folder, or open without sharing for deletion).
  virtual bool DeleteFileWide(std::u16string_view path) = 0;
  // MoveFileW: not moved when the file is missing, in use (last error
  // kErrorSharingViolation or kErrorLockViolation) or the new name taken.
  virtual FileMoveResult MoveFileWide(std::u16string_view from, std::u16string_view to) = 0;
  // MoveFileExW with `flags` (kMoveFile...); nothing for `to` passes NULL,
  // which with kMoveFileDelayUntilReboot deletes `from` at the next start.
  // False when the call fails, as it always does on Windows 9x/ME, where the
  // function is a stub.
  virtual bool MoveFileExWide(std::u16string_view from, std::optional<std::u16string_view> to,
                              std::uint32_t flags) = 0;
  // GetShortPathNameW: the short (8.3) form of the existing file or folder
  // `path`, or nothing when the call fails (a missing path). A part that
  // has no short name (on a volume that keeps none) comes back as it is.
  // On Windows 9x/ME the Win32 backend calls GetShortPathNameA.
  virtual std::optional<std::u16string> GetShortPathNameWide(std::u16string_view path) = 0;
  // SetFilePointer with a 64-bit distance: the new position from the start of
  // the file, or nothing when the move fails.
  virtual std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                                      std::uint32_t moveMethod) = 0;
  // SetEndOfFile at the current position: false when it fails.
  virtual bool SetEndOfFile(Handle file) = 0;
  // GetFileSize with its high part: the file's size, or nothing when the
  // call fails.
  virtual std::optional<std::uint64_t> GetFileSize(Handle file) = 0;
  // ReadFile at the current position into `buffer` (at most 4 GB less one
  // byte at once): the number of bytes read (0 at the end of the file), or
  // nothing when the call fails.
  virtual std::optional<std::uint32_t> ReadFile(Handle file, std::span<std::uint8_t> buffer) = 0;
  // WriteFile at the current position (at most 4 GB less one byte at once):
  // the number of bytes written, or nothing when the call fails.
  virtual std::optional<std::uint32_t> WriteFile(Handle file,
                                                 std::span<const std::uint8_t> bytes) = 0;

  // GetProcAddress of "BackupRead" and "BackupSeek" in `module` (a handle
  // of GetModuleHandleWide or LoadLibraryWide): an empty function when it
  // lacks them.
  virtual BackupReadFunction BindBackupRead(Handle module) = 0;
  virtual BackupSeekFunction BindBackupSeek(Handle module) = 0;

  // GetProcAddress of "SHFileOperationW" in `library` (a handle of
  // shell32.dll): an empty function when it lacks it. On Windows 9x/ME the
  // Win32 backend binds SHFileOperationA instead and converts the paths to
  // the ANSI code page (a path that has no exact form there fails the call).
  virtual ShFileOperationFunction BindShFileOperation(Handle library) = 0;
};

}  // namespace platform
