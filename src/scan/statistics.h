// The counters, flags and timings of the report.
#pragma once

#include <cstdint>

namespace scan {

// In this order and these widths. All zero when the engine is created; each
// scanner resets its own fields early in its Run.
struct ScanStatistics {
  std::int32_t scannedFiles = 0;
  std::int32_t scannedStreams = 0;
  std::int32_t scannedDirectories = 0;
  std::int32_t scannedProcesses = 0;
  std::int32_t scannedModules = 0;
  std::int32_t infectedFiles = 0;
  std::int32_t infectedProcesses = 0;
  std::int32_t removedFiles = 0;
  std::int32_t renamedFiles = 0;
  std::int32_t terminatedProcesses = 0;  // incremented atomically by the termination threads
  std::uint32_t registryChanged = 0;
  std::uint32_t hostsChanged = 0;
  std::uint32_t iniChanged = 0;
  double fileScanTime = 0;    // milliseconds
  double memoryScanTime = 0;  // milliseconds
  double fileScanKilobytes = 0;
  double memoryScanKilobytes = 0;
};

}  // namespace scan
