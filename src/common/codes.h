// The program's codes: the exit statuses of the process, the result codes
// of a scan with the string table entries that go with them, and what the
// removal operations answer.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "common/string_ids.h"

namespace codes {

// The number of any code of this file.
template <typename Code>
requires std::is_enum_v<Code>
constexpr int ToInt(Code code) { return static_cast<int>(code); }

// Exit statuses of the process. Start-up ends the process at once with the
// first four; after the main window has run, the status is the window's end
// code.
enum class ExitStatus : int {
  kMutexFailed = -1,     // the single-instance mutex could not be created
  kAlreadyRunning = -3,  // another copy holds the mutex
  kVersionUnknown = -3,  // the system's version could not be told
  kParseError = -20,     // the description script has a parse error
};

// The main window's end codes besides a scan's result.
enum class WindowEndCode : int {
  kNormal = 0,
  kMissingControl = -1,  // a control of the window template is missing
  kNoAdminRights = -2,   // the administrator rights check failed
};

// What a scanner's Run answers, and what ScanFinished receives. Other values
// may reach ScanFinished too; they have no result line.
enum class ScanResult : int {
  kMalwareFound = 1,
  kDone = 0,
  kInvalidArgument = -1,
  kSynchronizationError = -2,
  kVersionQueryError = -3,
  kInvalidWindowsVersion = -4,
  kInsufficientRights = -5,
  kProcessSnapshotError = -6,
  kNoProcessesFound = -7,
  kStoppedByUser = -8,
  kInvalidFileHandle = -9,
  kNoDrivesFound = -10,
  kMemoryScannerInitError = -11,
};

// The string table entry of the line that ScanFinished appends first for
// `result`: nothing for kDone and any value without a result line.
constexpr std::optional<std::uint32_t> ResultLineString(ScanResult result) {
  switch (result) {
    case ScanResult::kMalwareFound:
      return strings::kResultMalwareRemoved;
    case ScanResult::kInvalidArgument:
      return strings::kResultInvalidArgument;
    case ScanResult::kSynchronizationError:
      return strings::kResultSynchronizationError;
    case ScanResult::kVersionQueryError:
      return strings::kResultVersionQueryError;
    case ScanResult::kInvalidWindowsVersion:
      return strings::kResultInvalidWindowsVersion;
    case ScanResult::kInsufficientRights:
      return strings::kResultInsufficientRights;
    case ScanResult::kProcessSnapshotError:
      return strings::kResultProcessSnapshotError;
    case ScanResult::kNoProcessesFound:
      return strings::kResultNoProcessesFound;
    case ScanResult::kStoppedByUser:
      return strings::kResultStoppedByUser;
    case ScanResult::kInvalidFileHandle:
      return strings::kResultInvalidFileHandle;
    case ScanResult::kNoDrivesFound:
      return strings::kResultNoDrivesFound;
    case ScanResult::kMemoryScannerInitError:
      return strings::kResultMemoryScannerInitError;
    case ScanResult::kDone:
      return std::nullopt;
  }
  return std::nullopt;
}

// What the removal operations answer, one type per meaning. An operation
// answers 1 when it made the change asked of it and another small value
// otherwise; the values are fixed. Callers choose what they print by name.

// RemoveRunEntries.
enum class RunEntriesResult : int {
  kCleaned = 1,     // every start-up value that named the file is gone
  kNotCleaned = 2,  // no file name, a deletion failed or the profiles could not be listed
};

// RemoveRegistryKey.
enum class KeyRemovalResult : int {
  kDeleted = 1,
  kNotDeleted = 0,
  kNoRoot = 5,
};

// RemoveRegistryValue.
enum class ValueRemovalResult : int {
  kDeleted = 1,
  kNotDeleted = 0,
  kKeyNotOpened = -1,  // the key could not be opened, or not closed again
};

// ReplaceRegistryValue and AddRegistryValue.
enum class ValueWriteResult : int {
  kWritten = 1,
  kNotWritten = 2,       // also: the value did not hold what was to be replaced, or existed
  kMissingArgument = 5,  // no such root, or no subkey or value name where one is needed
};

// AddRegistryKey.
enum class KeyCreationResult : int {
  kCreated = 1,
  kFailed = 2,
  kMissingArgument = 5,  // no such root, or no subkey
  kExisted = 6,
};

// RemoveFile.
enum class FileRemovalResult : int {
  kDone = 1,            // deleted, or scheduled for the next start
  kNothingDone = 2,     // no such file, handled already, or handed to the shell
  kScheduleFailed = 0,  // the delayed deletion or WININIT.INI failed
};

// RenameFile.
enum class FileRenameResult : int {
  kDone = 1,  // renamed, or scheduled for the next start
  kNothingDone = 2,
  kHandedToShell = 3,
};

// CleanIniFile and RestoreHosts.
enum class SystemFileResult : int {
  kChanged = 1,
  kNothingDone = 2,  // also: a missing file, or a failure
  kUtf16Text = 3,    // RestoreHosts: a UTF-16 hosts file, left as it was
};

// RemoveFromHosts.
enum class HostsRemovalResult : int {
  kChanged = 1,
  kNothingDone = 2,  // also: a missing file, or a failure
  kUtf16Text = 3,    // a UTF-16 hosts file, left as it was
  kNoEntryMatched = 7,
};

// TerminateProcessById, and TerminateProcesses for each process.
enum class ProcessEndResult : int {
  kEnded = 1,
  kNotEnded = 0,   // also: a process whose image cannot be told, which is not tried
  kProtected = 3,  // one of the system's own processes or the program's: left running
};

// ShowPopup.
enum class PopupResult : int {
  kClosed = 1,
};

}  // namespace codes
