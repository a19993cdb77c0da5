// One copy of the Quelvix Removal Tool, started by an end-to-end test, with
// checks in the terms of its window. The program is the one at the Windows
// path in the environment variable QRT_TOOL_EXE.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "automation.h"

namespace e2e {

// The main window as users see it.
inline constexpr wchar_t kMainWindowTitle[] = L"Quelvix Removal Tool 3.0";
inline constexpr int kStartButton = 1000;
inline constexpr int kStopButton = 1001;
inline constexpr int kOutputView = 1003;
inline constexpr int kStatusText = 1004;
inline constexpr int kExitButton = 1005;
// Status bar panes.
inline constexpr int kStatusPane = 0;
inline constexpr int kClockPane = 1;

// The first program started in a new Wine prefix takes a few seconds.
inline constexpr Milliseconds kStartTimeout{30000};
inline constexpr Milliseconds kExitTimeout{10000};

// Success, or a failure with the reason of a Result.
template <typename T>
::testing::AssertionResult Ok(const Result<T>& result) {
  if (result) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Utf8(result.error());
}

class RunningTool {
 public:
  RunningTool() = default;
  // A copy still running when the test ends (it failed) is killed.
  ~RunningTool();
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  // Starts a copy with ARGUMENTS on its command line.
  void Start(const std::wstring& arguments = L"");
  // Waits for the main window, titled kMainWindowTitle.
  void WaitForMainWindow();

  const Process& process() const { return process_; }
  const Window& window() const { return window_; }

  void ExpectButton(int id, std::wstring_view text, bool enabled) const;
  void Click(int id) const;
  // Waits until the program shows at least one message box; gives them all.
  std::vector<MessageBoxInfo> WaitForMessageBoxes() const;
  // Waits for the program to end and expects exit status STATUS (all 32 bits).
  void ExpectExitStatus(DWORD status, Milliseconds timeout = kExitTimeout) const;

 private:
  Process process_;
  Window window_;
};

}  // namespace e2e
