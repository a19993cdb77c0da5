#include "app/main_window.h"

#include <algorithm>
#include <array>

#include "app/output_view.h"
#include "app/report.h"
#include "app/texts.h"
#include "common/limits.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "resource_ids.h"

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

  // Engine set-up, the database steps: the version check (ending the
  // program with ExitStatus::kVersionUnknown), the description script (a
  // parse error ends the program with ExitStatus::kParseError before the
  // window shows), the handler list with the built-in handlers first, and
  // last the signature index.
  engine_ = std::make_unique<engine::ScanEngine>(scanners_.systemContext(), *this);
  engine_->SetUp(system_, std::move(builtIns_));

  headerTexts_ = BuildHeaderTexts(system_);
  OutputView output(view);
  WriteBanner(output, headerTexts_, engine_->database().MalwareListText());
  WriteHint(output, headerTexts_);

  host_ = WriteHostLine(system_, output);

  view.Show(true);
  appendInProgress_ = false;

  // The focus is set here; answering false keeps the dialog manager from
  // selecting the whole output view.
  view.FocusControl(view.IsControlEnabled(QRT_IDC_START) ? QRT_IDC_START : QRT_IDC_EXIT);
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

// The window runs no scans: Start and Stop do nothing.
void RemovalDialog::StartScan() {}

void RemovalDialog::StopScan() {}

void RemovalDialog::ExitProgram() {
  exitRequested_ = true;
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->EnableControl(QRT_IDC_EXIT, false);
  view_->EnableControl(QRT_IDC_START, false);
  FinishExit();
}

void RemovalDialog::FinishExit() {
  if (logSettings_.logEnabled) {
    WriteLogFile(system_, logSettings_.logFileName, logSettings_.appendLog, scanStarted_,
                 OutputView(*view_).Text());
  }
  // The engine goes with its handlers, descriptions and index.
  engine_.reset();
  view_->EndModal(endCode_);
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
  if (view_ == nullptr) return;
  if (exitRequested_) {
    FinishExit();
    return;
  }
  view_->EnableControl(QRT_IDC_START, true);
  view_->EnableControl(QRT_IDC_EXIT, true);
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->FocusControl(QRT_IDC_EXIT);
}

}  // namespace app
