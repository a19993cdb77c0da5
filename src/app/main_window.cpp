#include "app/main_window.h"

#include <algorithm>
#include <array>

#include "app/admin_rights.h"
#include "app/command_line.h"
#include "app/no_admin_rights_dialog.h"
#include "app/output_view.h"
#include "app/reboot.h"
#include "app/report.h"
#include "common/limits.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "resource_ids.h"
#include "scan/texts.h"

namespace app {

std::u16string_view ThroughTextBuffer(std::u16string_view text) {
  return text.substr(0, std::min(text.find(u'\0'), limits::kTextBufferLength - 1));
}

RemovalDialog::RemovalDialog(platform::System& system, engine::ScannerTable& scanners,
                             handlers::BuiltInHandlerTable builtIns)
    : system_(system), scanners_(scanners), builtIns_(std::move(builtIns)) {}

bool RemovalDialog::OnInitDialog(platform::DialogView& view) {
  view_ = &view;
  view.SetIcon(QRT_IDI_MAIN);

  const platform::Size client = view.ClientSize();
  const std::array<platform::StatusPane, 2> panes = {
      platform::StatusPane{QRT_ID_PANE_STATUS, client.width - kClockPaneWidth},
      platform::StatusPane{QRT_ID_PANE_CLOCK, -1}};
  view.CreateStatusBar(panes);
  view.StartTimer(kClockTimerId, kClockPeriodMs);

  scanStarted_ = false;
  endCode_ = codes::ToInt(codes::WindowEndCode::kNormal);
  helpShown_ = false;
  firstScan_ = true;

  // Mouse messages reach the window, which drops them while text is being
  // inserted.
  if (view.HasControl(QRT_IDC_OUTPUT)) {
    view.AddEventMask(QRT_IDC_OUTPUT, platform::kEnmMouseEvents);
  }

  const auto title = system_.resources().LoadStringResource(strings::kWindowTitle);
  view.SetTitle(title ? *title : kDefaultWindowTitle);

  for (int id : {QRT_IDC_STOP, QRT_IDC_START, QRT_IDC_EXIT, QRT_IDC_STATUS}) {
    if (!view.HasControl(id)) {
      view.EndModal(codes::ToInt(codes::WindowEndCode::kMissingControl));
      return true;
    }
  }
  view.EnableControl(QRT_IDC_STOP, false);

  const std::array<std::pair<int, std::uint32_t>, 4> labels = {
      {{QRT_IDC_START, strings::kStartButton},
       {QRT_IDC_STOP, strings::kStopButton},
       {QRT_IDC_EXIT, strings::kExitButton},
       {QRT_IDC_SCAN_GROUP, strings::kScanningGroup}}};
  for (const auto& [id, string] : labels) {
    if (const auto label = system_.resources().LoadStringResource(string))
      view.SetControlText(id, *label);
  }

  // The rights check first; its answer holds for the run. Then the engine's
  // set-up, the database steps: the version check (ending the program with
  // ExitStatus::kVersionUnknown), the description script (a parse error ends
  // the program with ExitStatus::kParseError before the window shows), the
  // handler list with the built-in handlers first, and last the signature
  // index.
  isAdmin_ = CheckAdminRights(system_);
  engine_ = std::make_unique<engine::ScanEngine>(scanners_.systemContext(), *this);
  engine_->SetUp(system_, std::move(builtIns_), scanners_.scanners());

  headerTexts_ = BuildHeaderTexts(system_);
  OutputView output(view);
  WriteBanner(output, headerTexts_, engine_->database().MalwareListText());
  WriteHint(output, headerTexts_);

  // The command line: log settings, silent mode, drive letters and help.
  OutputViewWriter writer(output);
  CommandLineResult commandLine =
      ReadCommandLine(system_, system_.runtime().CommandLine(),
                      ExecutableBaseName(system_.runtime().ModuleFileName()), helpShown_, writer);
  logSettings_ = commandLine.log;
  silent_ = commandLine.silent;
  driveList_ = std::move(commandLine.drives);
  // Without administrator rights Start stays disabled, the focus goes to
  // Exit and the window ends with WindowEndCode::kNoAdminRights.
  if (!isAdmin_) {
    view.EnableControl(QRT_IDC_START, false);
    endCode_ = codes::ToInt(codes::WindowEndCode::kNoAdminRights);
    view.FocusControl(QRT_IDC_EXIT);
  }

  host_ = WriteHostLine(system_, output);

  // The focus is set here; answering false keeps the dialog manager from
  // selecting the whole output view.
  view.FocusControl(view.IsControlEnabled(QRT_IDC_START) ? QRT_IDC_START : QRT_IDC_EXIT);
  const bool withoutRights = endCode_ == codes::ToInt(codes::WindowEndCode::kNoAdminRights);
  bool started = false;
  if (silent_) {
    view.Show(false);
    // A hidden run has no one to close a dialog, and it must end by itself
    // after the scan: the missing rights are told in the output (and so in
    // the log) instead.
    if (withoutRights)
      output.Append(scan::LoadText(system_, strings::kAdminRightsRequired), kPlainFormat);
    StartScan();
    started = true;
  } else {
    view.Show(true);
    if (withoutRights) ShowNoAdminRightsDialog(system_, view.Window());
  }
  appendInProgress_ = false;
  // Drive letters on the command line start a scan at once, as silent mode
  // does; neither is held back by missing rights.
  if (!driveList_.empty() && !started && !exitRequested_) StartScan();
  return false;
}

bool RemovalDialog::OnMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t) {
  if (message == kScanStoppedMessage) {
    // The worker met a stop request and has ended or is ending: the result
    // line and the report come on this thread.
    JoinWorker();
    ScanFinished(static_cast<codes::ScanResult>(static_cast<int>(wParam)));
    AfterScan();
    return true;
  }
  if (message == kWorkerEndedMessage) {
    // A normal end: the worker has written the report itself.
    JoinWorker();
    AfterScan();
    return true;
  }
  return false;
}

void RemovalDialog::OnCommand(int controlId, int /*notifyCode*/) {
  switch (controlId) {
    case QRT_IDC_START:
      StartScan();
      break;
    case QRT_IDC_STOP:
      StopScan();
      break;
    case QRT_IDC_EXIT:
      ExitProgram();
      break;
    case platform::kIdCancel:
      // Escape and the close box take the exit path like the Exit button, so
      // that the log is written and a running scan is stopped first.
      if (!exitRequested_) ExitProgram();
      break;
    default:
      // Enter (kIdOk) does nothing.
      break;
  }
}

void RemovalDialog::OnTimer(std::uint32_t timerId) {
  if (timerId != kClockTimerId || view_ == nullptr) return;
  const platform::LocalTime now = system_.runtime().GetLocalTime();
  view_->SetStatusPaneText(kClockPane,
                           text::Format(u"%02d:%02d:%02d", {now.hour, now.minute, now.second}));
}

bool RemovalDialog::OnMessageFilter(int /*controlId*/) { return appendInProgress_; }

void RemovalDialog::StartScan() {
  if (!engine_ || scanRunning_) return;
  view_->EnableControl(QRT_IDC_START, false);
  view_->EnableControl(QRT_IDC_STOP, true);
  if (silent_) view_->Show(false);
  if (!firstScan_) {
    // Two empty lines between the scans of a run.
    AppendText(u"\r\n");
    AppendText(u"\r\n");
  }
  firstScan_ = false;
  scanStarted_ = true;
  lastScan_ = ScanOutcome{};
  lastScan_.ran = true;
  engine_->ClearStopRequest();
  scanRunning_ = true;
  worker_ = system_.runtime().StartThread([this, drives = driveList_] { ScanWorker(drives); });
  if (worker_ == 0) {
    // No worker: the scan ends before it began, with the synchronization
    // error's result line, and the window is idle again.
    scanRunning_ = false;
    lastScan_.firstError = codes::ScanResult::kSynchronizationError;
    ScanFinished(codes::ScanResult::kSynchronizationError);
    AfterScan();
    return;
  }
  view_->FocusControl(QRT_IDC_STOP);
}

void RemovalDialog::ScanWorker(const scan::DriveNameList& drives) {
  const engine::ScanEngine::RunOutcome outcome = engine_->RunScanners(drives);
  const scan::ScanStatistics& statistics = engine_->statistics();
  lastScan_.stopped = outcome.stopped.has_value();
  lastScan_.firstError = outcome.firstError;
  lastScan_.foundMalware = statistics.infectedFiles > 0 || statistics.infectedProcesses > 0;
  if (outcome.stopped) {
    scanRunning_ = false;
    view_->Post(kScanStoppedMessage, static_cast<std::uint64_t>(codes::ToInt(*outcome.stopped)),
                kScanFinishedTag);
    return;
  }
  ScanFinished(codes::ScanResult::kDone);
  scanRunning_ = false;
  view_->Post(kWorkerEndedMessage, 0, kScanFinishedTag);
}

void RemovalDialog::JoinWorker() {
  if (worker_ == 0) return;
  system_.runtime().WaitForThread(worker_);
  system_.runtime().CloseHandle(worker_);
  worker_ = 0;
}

void RemovalDialog::AfterScan() {
  if (exitRequested_ || silent_) {
    FinishExit();
    return;
  }
  // Without administrator rights Start stays disabled.
  view_->EnableControl(QRT_IDC_START,
                       endCode_ != codes::ToInt(codes::WindowEndCode::kNoAdminRights));
  view_->EnableControl(QRT_IDC_EXIT, true);
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->FocusControl(QRT_IDC_EXIT);
}

void RemovalDialog::StopScan() {
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->EnableControl(QRT_IDC_EXIT, false);
  view_->EnableControl(QRT_IDC_START, false);
  if (engine_) engine_->RequestStop();
  view_->FocusControl(QRT_IDC_EXIT);
}

void RemovalDialog::ExitProgram() {
  exitRequested_ = true;
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->EnableControl(QRT_IDC_EXIT, false);
  view_->EnableControl(QRT_IDC_START, false);
  if (worker_ != 0) {
    // The worker's end message completes the exit.
    if (engine_) engine_->RequestStop();
    return;
  }
  FinishExit();
}

int RemovalDialog::ExitStatus() const {
  if (endCode_ != codes::ToInt(codes::WindowEndCode::kNormal)) return endCode_;
  if (!lastScan_.ran) return 0;
  if (lastScan_.stopped) return codes::ToInt(codes::ScanResult::kStoppedByUser);
  if (lastScan_.foundMalware) return codes::ToInt(codes::ScanResult::kMalwareFound);
  return codes::ToInt(lastScan_.firstError);
}

void RemovalDialog::FinishExit() {
  if (finished_) return;
  finished_ = true;
  // The engine must outlive the worker.
  JoinWorker();
  if (engine_ && logSettings_.logEnabled) {
    WriteLogFile(system_, logSettings_.logFileName, logSettings_.appendLog, scanStarted_,
                 OutputView(*view_).Text());
  }
  // A removal left for the next start: offer to restart Windows now.
  if (engine_ && engine_->rebootRequired().load()) AskReboot(system_, view_->Window());
  driveList_.clear();
  // The engine goes with its handlers, descriptions and index.
  engine_.reset();
  view_->EndModal(ExitStatus());
}

void RemovalDialog::SetProgressText(std::u16string_view text) { SetStatusText(text); }

void RemovalDialog::SetStatusText(std::u16string_view text) {
  if (view_ != nullptr) view_->SetControlText(QRT_IDC_STATUS, text);
}

void RemovalDialog::ReportFinding(std::u16string_view heading,
                                  std::optional<std::u16string_view> text) {
  if (view_ == nullptr) return;
  appendInProgress_ = true;
  OutputView output(*view_);
  output.MoveCaretToEnd();
  output.Insert(ThroughTextBuffer(heading), kHighlightFormat);
  if (text) output.Insert(ThroughTextBuffer(*text), kPlainFormat);
  appendInProgress_ = false;
}

void RemovalDialog::AppendText(std::u16string_view text) {
  if (view_ == nullptr) return;
  appendInProgress_ = true;
  OutputView output(*view_);
  output.Append(ThroughTextBuffer(text), kPlainFormat);
  appendInProgress_ = false;
}

void RemovalDialog::ScanFinished(codes::ScanResult result) {
  if (const auto line = ScanResultLine(system_, result)) AppendText(*line);
  if (engine_) WriteReport(system_, engine_->statistics(), *this);
}

}  // namespace app
