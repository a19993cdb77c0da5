#include "app/report.h"

#include "app/texts.h"
#include "common/text.h"

namespace app {

double Throughput(double kilobytes, double milliseconds) {
  return milliseconds >= 1.0 ? kilobytes / (milliseconds * 0.001) : 0.0;
}

std::optional<std::u16string> ScanResultLine(platform::System& system, codes::ScanResult result) {
  const std::optional<std::uint32_t> id = codes::ResultLineString(result);
  if (!id) return std::nullopt;
  return system.resources().LoadStringResource(*id);
}

void WriteReport(platform::System& system, const scan::ScanStatistics& statistics,
                 scan::ScanObserver& observer) {
  const scan::ScanStatistics& s = statistics;
  struct Line {
    std::uint32_t string;
    std::optional<text::FormatArg> value;
  };
  const Line lines[] = {
      {kStrReportHeading, std::nullopt},
      {kStrScannedDirectories, s.scannedDirectories},
      {kStrScannedFiles, s.scannedFiles},
      {kStrScannedStreams, s.scannedStreams},
      {kStrScannedProcesses, s.scannedProcesses},
      {kStrScannedModules, s.scannedModules},
      {kStrInfectedFiles, s.infectedFiles},
      {kStrInfectedProcesses, s.infectedProcesses},
      {kStrRemovedFiles, s.removedFiles},
      {kStrRenamedFiles, s.renamedFiles},
      {kStrTerminatedProcesses, s.terminatedProcesses},
      {kStrMemoryScanTime, s.memoryScanTime * 0.001},
      {kStrMemoryThroughput, Throughput(s.memoryScanKilobytes, s.memoryScanTime)},
      {kStrFileScanTime, s.fileScanTime * 0.001},
      {kStrFileThroughput, Throughput(s.fileScanKilobytes, s.fileScanTime)},
      {kStrThankYou, std::nullopt},
  };
  for (const Line& line : lines) {
    const std::u16string format = LoadText(system, line.string);
    observer.AppendText(line.value ? text::Format(format, {*line.value}) : text::Format(format));
  }
}

}  // namespace app
