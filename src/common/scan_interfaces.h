// The interfaces through which the scan run, the scanners, the removal code
// and the handlers speak to each other:
// - ScanObserver: everything shown to the user (output lines, the status
//   text, findings) goes through it; the main window implements it.
// - Scanner: the memory scanner and the file scanner; the scan run executes
//   them one after another on its worker thread.
// - ScanStatistics: the counters, flags and timings of the report.
// - ScanEngineView: the few members of the scan engine that lower layers use
//   (stop request, observer, statistics, signature index), so that they never
//   see the application itself.
//
// Virtual operations are declared in a fixed slot order; the unused integer
// arguments are kept and callers pass 0.
#pragma once

#include <cstdint>
#include <forward_list>
#include <optional>
#include <string>
#include <string_view>

namespace detect {
class SignatureIndex;
}  // namespace detect

namespace scan {

// The drive list of the command line: drive letters with a colon ("C:"), in
// command line order. Empty: all fixed drives.
using DriveNameList = std::forward_list<std::u16string>;

class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  // Sets the one-line status text; no caller uses it.
  virtual void SetProgressText(std::u16string_view text, int unused) = 0;
  // Appends the heading in the highlight format (bold red), then the text,
  // when there is one, in the plain format.
  virtual void ReportFinding(std::u16string_view heading, std::optional<std::u16string_view> text,
                             int unused) = 0;
  virtual void Hook3(int, int) {}
  virtual void Hook4(int, int) {}
  // Appends the text as it is, in the plain format.
  virtual void AppendText(std::u16string_view text, int unused) = 0;
  // Replaces the one-line status text; an empty text clears it.
  virtual void SetStatusText(std::u16string_view text, int unused) = 0;
  // Ends a scan with its result code: result line, report, then the exit
  // path or the idle state.
  virtual void ScanFinished(int result) = 0;
  // The drive list of the command line; no caller uses it.
  virtual const DriveNameList& DriveList() const = 0;
};

// Counters, flags and timings of the report, in this order and these widths.
// All zero when the engine is created; each scanner resets its own fields
// early in its Run.
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

class ScanEngineView;

class Scanner {
 public:
  virtual ~Scanner() = default;
  // The phase in which the scan run executes the scanner: the memory scanner
  // answers 2, the file scanner 1. Phases run in the order 0, 2, 1.
  virtual int Phase() const = 0;
  // Runs the scan: 1 malware found, 0 done, negative for errors and a stop.
  // The first two arguments are not read; the file scanner reads the drives.
  virtual int Run(void* firstArgument, void* secondArgument, const DriveNameList* drives) = 0;
  virtual void Hook3() {}
  // Stores the engine through which the scanner reaches the stop request,
  // the observer, the statistics and the signature index.
  virtual void SetEngine(ScanEngineView* engine) = 0;
};

class ScanEngineView {
 public:
  virtual ~ScanEngineView() = default;
  // Set by the window's Stop or Exit; polled by the scanners.
  virtual bool stopRequested() const = 0;
  virtual ScanObserver& observer() = 0;
  virtual ScanStatistics& statistics() = 0;
  virtual const detect::SignatureIndex& signatureIndex() const = 0;

  // The engine's own forwarding to its observer, which the scanners use.
  void AppendText(std::u16string_view text) { observer().AppendText(text, 0); }
  void SetStatusText(std::u16string_view text) { observer().SetStatusText(text, 0); }
};

}  // namespace scan
