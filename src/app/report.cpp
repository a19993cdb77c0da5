#include "app/report.h"

#include "common/string_ids.h"
#include "common/text.h"
#include "scan/texts.h"

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
      {strings::kReportHeading, std::nullopt},
      {strings::kScannedDirectories, s.scannedDirectories},
      {strings::kScannedFiles, s.scannedFiles},
      {strings::kScannedStreams, s.scannedStreams},
      {strings::kScannedProcesses, s.scannedProcesses},
      {strings::kScannedModules, s.scannedModules},
      {strings::kInfectedFiles, s.infectedFiles},
      {strings::kInfectedProcesses, s.infectedProcesses},
      {strings::kRemovedFiles, s.removedFiles},
      {strings::kRenamedFiles, s.renamedFiles},
      {strings::kTerminatedProcesses, s.terminatedProcesses},
      {strings::kMemoryScanTime, s.memoryScanTime * 0.001},
      {strings::kMemoryThroughput, Throughput(s.memoryScanKilobytes, s.memoryScanTime)},
      {strings::kFileScanTime, s.fileScanTime * 0.001},
      {strings::kFileThroughput, Throughput(s.fileScanKilobytes, s.fileScanTime)},
      {strings::kThankYou, std::nullopt},
  };
  for (const Line& line : lines) {
    const std::u16string format = scan::LoadText(system, line.string);
    observer.AppendText(line.value ? text::Format(format, {*line.value}) : text::Format(format));
  }
}

}  // namespace app
