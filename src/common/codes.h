// The program's codes: the exit statuses of the process and the result codes
// of a scan, with the string table entries that go with them.
#pragma once

#include <cstdint>
#include <optional>

#include "common/string_ids.h"

namespace codes {

// Exit statuses of the process. Start-up ends the process at once with the
// first four; after the main window has run, the status is the window's end
// code.
enum class ExitStatus : int {
  kMutexFailed = -1,     // the single-instance mutex could not be created
  kAlreadyRunning = -3,  // another copy holds the mutex
  kVersionUnknown = -3,  // the system's version could not be told
  kParseError = -20,     // the description script has a parse error
};

constexpr int ToInt(ExitStatus status) { return static_cast<int>(status); }

// The main window's end codes besides a scan's result.
enum class WindowEndCode : int {
  kNormal = 0,
  kMissingControl = -1,  // a control of the window template is missing
  kNoAdminRights = -2,   // the administrator rights check failed
};

constexpr int ToInt(WindowEndCode code) { return static_cast<int>(code); }

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

constexpr int ToInt(ScanResult result) { return static_cast<int>(result); }

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

}  // namespace codes
