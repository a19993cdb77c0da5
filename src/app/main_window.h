// The main window, RemovalDialog: a modal dialog (template 102) with the
// output view, the Start, Stop and Exit buttons, the status text and a status
// bar with a clock.
//
// This class is the window's logic only: which control is enabled, what each
// event does, what is written where. It acts on the window through
// platform::DialogView, so tests drive it against a fake view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "descriptions/script_parser.h"
#include "platform/dialog.h"
#include "platform/system.h"

namespace app {

// The fallback window title when string 52 cannot be loaded.
inline constexpr char16_t kDefaultWindowTitle[] = u"Removal Tool";
// The clock timer: id 100, once a second, shown in status bar pane 1.
inline constexpr std::uint32_t kClockTimerId = 100;
inline constexpr std::uint32_t kClockPeriodMs = 1000;
inline constexpr int kClockPane = 1;
// Pane 0 is as wide as the client area less this many pixels.
inline constexpr int kClockPaneWidth = 100;
// The main window's end code when one of its controls is missing.
inline constexpr int kEndMissingControl = -1;

class RemovalDialog final : public platform::DialogHandler {
 public:
  explicit RemovalDialog(platform::System& system);

  // platform::DialogHandler.
  bool OnInitDialog(platform::DialogView& view) override;
  void OnCommand(int controlId, int notifyCode) override;
  void OnTimer(std::uint32_t timerId) override;
  bool OnMessageFilter(int controlId) override;

  // The button actions.
  void StartScan();
  void StopScan();
  void ExitProgram();

  int endCode() const { return endCode_; }
  bool exitRequested() const { return exitRequested_; }

 private:
  // The exit path: releases what the run holds and ends the modal run.
  void FinishExit();

  platform::System& system_;
  platform::DialogView* view_ = nullptr;
  bool appendInProgress_ = false;
  bool scanStarted_ = false;
  bool firstScan_ = true;
  bool helpShown_ = false;
  bool exitRequested_ = false;
  int endCode_ = 0;
  // The parsed description script, none without a script resource. Stands
  // in for the scan engine's database until the engine exists.
  std::unique_ptr<descriptions::ScriptParser> script_;
};

}  // namespace app
