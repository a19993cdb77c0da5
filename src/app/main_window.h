// The main window, RemovalDialog: a modal dialog (template 102) with the
// output view, the Start, Stop and Exit buttons, the status text and a status
// bar with a clock.
//
// This class is the window's logic only: which control is enabled, what each
// event does, what is written where. It acts on the window through
// platform::DialogView, so tests drive it against a fake view.
//
// It is also the ScanObserver of the scan run. Those calls come from the scan
// worker thread; the Win32 view carries each of them out on the window's
// thread through synchronous messages, and `appendInProgress` keeps mouse
// clicks in the output view from moving the caret while an insertion runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/header_texts.h"
#include "app/host.h"
#include "app/log_file.h"
#include "engine/scan_engine.h"
#include "engine/scanner_table.h"
#include "handlers/builtin_handlers.h"
#include "platform/dialog.h"
#include "platform/system.h"
#include "scan/observer.h"
#include "scan/scanner.h"

namespace app {

// The fallback window title when strings::kWindowTitle cannot be loaded.
inline constexpr char16_t kDefaultWindowTitle[] = u"Removal Tool";
// The clock timer: id 100, once a second, shown in status bar pane 1.
inline constexpr std::uint32_t kClockTimerId = 100;
inline constexpr std::uint32_t kClockPeriodMs = 1000;
inline constexpr int kClockPane = 1;
// Pane 0 is as wide as the client area less this many pixels.
inline constexpr int kClockPaneWidth = 100;
// The worker's end messages: a scan that met a stop request (wParam: the
// scanner's answer), and the end of the worker after a normal end (the
// report is written then). lParam is kScanFinishedTag; the window acts on
// them only with that tag and while a worker exists, since the dialog
// manager uses the same numbers (DM_SETDEFID, DM_REPOSITION).
inline constexpr std::uint32_t kScanStoppedMessage = platform::kWmUser + 1;
inline constexpr std::uint32_t kWorkerEndedMessage = platform::kWmUser + 2;
inline constexpr std::int64_t kScanFinishedTag = 0xCAFEBABE;
// `text` as it comes out of the text buffer of findings and appended lines
// (limits::kTextBufferLength).
std::u16string_view ThroughTextBuffer(std::u16string_view text);

class RemovalDialog final : public platform::DialogHandler, public scan::ScanObserver {
 public:
  // The engine that the window sets up scans with the scanner table's
  // system context and takes over the built-in handlers.
  RemovalDialog(platform::System& system, engine::ScannerTable& scanners,
                handlers::BuiltInHandlerTable builtIns);

  // platform::DialogHandler.
  bool OnInitDialog(platform::DialogView& view) override;
  void OnCommand(int controlId, int notifyCode) override;
  void OnTimer(std::uint32_t timerId) override;
  bool OnMessageFilter(int controlId) override;
  bool OnMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override;

  // The button actions.
  void StartScan();
  void StopScan();
  void ExitProgram();

  // scan::ScanObserver.
  void SetProgressText(std::u16string_view text) override;
  void ReportFinding(std::u16string_view heading, std::optional<std::u16string_view> text) override;
  void AppendText(std::u16string_view text) override;
  void SetStatusText(std::u16string_view text) override;
  // Ends a scan's output: the result line of `result`, then the report. At
  // a normal end the worker calls it; after a stop the window does, when the
  // worker's message arrives. What follows (the idle state or the exit path)
  // always runs on the window's thread.
  void ScanFinished(codes::ScanResult result) override;

  // The drive list of the command line.
  const scan::DriveNameList& driveList() const { return driveList_; }

  int endCode() const { return endCode_; }
  // What the program's run ends with: the end code when it is not 0 (the
  // rights check failed, a control was missing); else, from the last scan's
  // own findings, 1 when it found an infected file or process (also when it
  // was stopped afterwards), -8 when it was stopped, the first error a
  // scanner answered, or 0; 0 without a scan.
  int ExitStatus() const;
  // A worker thread runs a scan.
  bool scanRunning() const { return scanRunning_; }
  bool silent() const { return silent_; }
  bool exitRequested() const { return exitRequested_; }
  const HeaderTexts& headerTexts() const { return headerTexts_; }
  const HostInfo& host() const { return host_; }
  // The log settings, set by the command line.
  LogSettings& logSettings() { return logSettings_; }
  // The scan engine, from the window's initialisation to the exit path.
  engine::ScanEngine* engine() { return engine_.get(); }

 private:
  // The exit path: waits for a worker, writes the log, releases what the
  // run holds and ends the modal run with ExitStatus. Runs once.
  void FinishExit();
  // The worker thread's routine: the scanners by phase, then its end
  // message.
  void ScanWorker(const scan::DriveNameList& drives);
  // Waits for the worker thread and closes it.
  void JoinWorker();
  // After a scan, on the window's thread: the exit path when Exit was
  // pressed or in silent mode, else the idle state.
  void AfterScan();

  // What the last scan came to, for the exit status.
  struct ScanOutcome {
    bool ran = false;
    bool stopped = false;
    bool foundMalware = false;
    codes::ScanResult firstError = codes::ScanResult::kDone;
  };

  platform::System& system_;
  engine::ScannerTable& scanners_;
  handlers::BuiltInHandlerTable builtIns_;
  platform::DialogView* view_ = nullptr;
  HeaderTexts headerTexts_;
  HostInfo host_;
  // No log, no append, not silent until the command line says otherwise.
  LogSettings logSettings_{false, false, {}};
  scan::DriveNameList driveList_;
  // Written by the worker thread, read by the window's thread.
  std::atomic<bool> appendInProgress_ = false;
  std::atomic<bool> exitRequested_ = false;
  bool scanStarted_ = false;
  bool firstScan_ = true;
  bool helpShown_ = false;
  int endCode_ = codes::ToInt(codes::WindowEndCode::kNormal);
  bool silent_ = false;
  // The administrator rights check's answer for the run.
  bool isAdmin_ = true;
  bool finished_ = false;
  // Written by the worker before its end message, read by the window after.
  ScanOutcome lastScan_;
  std::atomic<bool> scanRunning_ = false;
  platform::Handle worker_ = 0;
  std::unique_ptr<engine::ScanEngine> engine_;
};

}  // namespace app
