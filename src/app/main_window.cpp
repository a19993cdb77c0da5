#include "app/main_window.h"

#include <array>

#include "app/texts.h"
#include "common/text.h"
#include "descriptions/script_loading.h"
#include "detect/system_context.h"
#include "resource_ids.h"

namespace app {

RemovalDialog::RemovalDialog(platform::System& system) : system_(system) {}

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
  endCode_ = 0;
  helpShown_ = false;
  firstScan_ = true;

  // Mouse messages reach the window, which drops them while text is being
  // inserted.
  if (view.HasControl(QRT_IDC_OUTPUT)) {
    view.AddEventMask(QRT_IDC_OUTPUT, platform::kEnmMouseEvents);
  }

  const auto title = system_.LoadStringResource(kStrWindowTitle);
  view.SetTitle(title ? *title : kDefaultWindowTitle);

  for (int id : {QRT_IDC_STOP, QRT_IDC_START, QRT_IDC_EXIT, QRT_IDC_STATUS}) {
    if (!view.HasControl(id)) {
      view.EndModal(kEndMissingControl);
      return true;
    }
  }
  view.EnableControl(QRT_IDC_STOP, false);

  const std::array<std::pair<int, std::uint32_t>, 4> labels = {
      {{QRT_IDC_START, kStrStartButton},
       {QRT_IDC_STOP, kStrStopButton},
       {QRT_IDC_EXIT, kStrExitButton},
       {QRT_IDC_SCAN_GROUP, kStrScanningGroup}}};
  for (const auto& [id, string] : labels) {
    if (const auto label = system_.LoadStringResource(string)) view.SetControlText(id, *label);
  }

  // Engine set-up: the description script. A parse error ends the program
  // here with -20, before the window is shown.
  script_ = descriptions::LoadScript(system_, detect::GetSystemContext());

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
  const platform::LocalTime now = system_.GetLocalTime();
  view_->SetStatusPaneText(kClockPane,
                           text::Format(u"%02d:%02d:%02d", {now.hour, now.minute, now.second}));
}

bool RemovalDialog::OnMessageFilter(int /*controlId*/) { return appendInProgress_; }

void RemovalDialog::StartScan() {
  // The scan run arrives with the scan engine; until then Start does nothing.
}

void RemovalDialog::StopScan() {
  // Nothing runs that could be stopped before the scan engine exists.
}

void RemovalDialog::ExitProgram() {
  exitRequested_ = true;
  view_->EnableControl(QRT_IDC_STOP, false);
  view_->EnableControl(QRT_IDC_EXIT, false);
  view_->EnableControl(QRT_IDC_START, false);
  FinishExit();
}

void RemovalDialog::FinishExit() { view_->EndModal(endCode_); }

}  // namespace app
