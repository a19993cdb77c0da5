// The counters, flags and timings of the report.
#pragma once

#include <cstdint>

namespace scan {

// In this order and these widths. All zero when the engine is created; each
// scanner resets its list early in its Run: the memory scanner, which runs
// first, also the removal counters and flags that both scans' findings count
// into.
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

  // The memory scanner's list: its own fields and the removal counters.
  void ResetForMemoryScan() {
    scannedProcesses = 0;
    scannedModules = 0;
    infectedProcesses = 0;
    removedFiles = 0;
    renamedFiles = 0;
    terminatedProcesses = 0;
    registryChanged = 0;
    hostsChanged = 0;
    iniChanged = 0;
    memoryScanTime = 0;
    memoryScanKilobytes = 0;
  }
  // The file scanner's list: its own fields only.
  void ResetForFileScan() {
    scannedDirectories = 0;
    scannedFiles = 0;
    scannedStreams = 0;
    infectedFiles = 0;
    fileScanTime = 0;
    fileScanKilobytes = 0;
  }
};

}  // namespace scan
