// Drives a running Windows program from outside, as a user would: starts it,
// finds its windows, reads its controls, clicks its buttons, answers its
// message boxes and reads its exit code.
//
// Every wait is bounded: waits take a time-out, and every message sent to a
// window of another process is given up after kMessageTimeout, so that a hung
// program fails a test instead of hanging it. Buttons are clicked by posting
// BM_CLICK: sending it would block until the program's handler returns, and
// that handler may run a modal loop of its own.
//
// Used by the end-to-end tests (qrt_e2e_tests) and by the command-line tool
// qrt-auto. Not thread-safe: one thread drives the program.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Milliseconds = std::chrono::milliseconds;

// How long another process may take to answer one message.
inline constexpr Milliseconds kMessageTimeout{5000};
// How often waits look again.
inline constexpr Milliseconds kPollInterval{50};

// The class of dialog windows, message boxes included.
inline constexpr wchar_t kDialogClass[] = L"#32770";
// The static control that holds a message box's text.
inline constexpr int kMessageBoxTextId = 0xFFFF;

// Why an operation gave no value.
struct Failure {
  std::wstring why;
};

// A value, or a Failure that says why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}                // NOLINT: implicit by design
  Result(Failure failure) : error_(std::move(failure.why)) {}  // NOLINT

  explicit operator bool() const { return value_.has_value(); }
  const T& operator*() const { return *value_; }
  T& operator*() { return *value_; }
  const T* operator->() const { return &*value_; }
  // Empty when there is a value.
  const std::wstring& error() const { return error_; }

 private:
  std::optional<T> value_;
  std::wstring error_;
};

// What an operation without a value gives on success.
struct Done {};

// UTF-16 to UTF-8 and back, for messages and console output.
std::string Utf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// Polls CONDITION (a callable giving a std::optional) every kPollInterval
// until it gives a value or TIMEOUT has passed; gives its last answer.
template <typename Condition>
auto Poll(Milliseconds timeout, Condition condition) -> decltype(condition()) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto answer = condition();
    if (answer || std::chrono::steady_clock::now() >= deadline) return answer;
    ::Sleep(static_cast<DWORD>(kPollInterval.count()));
  }
}

// A process, started by us or opened by id. Owns its handle; movable only.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts EXE with the command line `"EXE" ARGUMENTS` in the current
  // directory.
  static Result<Process> Start(const std::wstring& exe, const std::wstring& arguments = L"");
  // Opens the running process ID, to wait for it and read its exit code.
  static Result<Process> Open(DWORD id);

  DWORD id() const { return id_; }
  HANDLE handle() const { return handle_; }
  bool Running() const;
  // The full 32-bit exit code, once the process has ended within TIMEOUT.
  Result<DWORD> WaitForExit(Milliseconds timeout) const;
  // Ends the process at once (clean-up after a failed test) and waits for it
  // a little.
  void Kill();

 private:
  Process(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

// The executable file name of process ID ("QuelvixRemovalTool.exe"), or
// empty when it does not run.
std::wstring ProcessName(DWORD id);
// The running processes whose executable file name is NAME (without regard to
// case).
std::vector<DWORD> ProcessesNamed(std::wstring_view name);

// A window, usually of another process. A plain handle: copying is cheap.
class Window {
 public:
  Window() = default;
  explicit Window(HWND handle) : handle_(handle) {}

  HWND handle() const { return handle_; }
  bool Exists() const;
  bool Visible() const;
  // Whether its thread answers a message within TIMEOUT (it is not hung).
  bool Responds(Milliseconds timeout = kMessageTimeout) const;
  DWORD ProcessId() const;
  std::wstring ClassName() const;
  // The owner window; an empty Window when it has none.
  Window Owner() const;
  // The title of a top-level window or the text of a control (WM_GETTEXT:
  // a rich edit gives its lines ended by CR LF).
  Result<std::wstring> Text() const;

  // The child control ID.
  Result<Window> Control(int id) const;
  Result<std::wstring> ControlText(int id) const;
  Result<bool> ControlEnabled(int id) const;
  // Clicks button ID as a user would: fails when it is hidden or disabled.
  Result<Done> Click(int id) const;
  // The text of pane PANE (from 0) of the window's status bar.
  Result<std::wstring> StatusPaneText(int pane) const;

  friend bool operator==(const Window&, const Window&) = default;

 private:
  HWND handle_ = nullptr;
};

// The visible top-level dialog windows (class #32770) of process PROCESS_ID,
// or of every process when it is 0, in z order (topmost first).
std::vector<Window> Dialogs(DWORD processId = 0);

// Whether WINDOW is a message box: a dialog with the text control 65535.
bool IsMessageBox(const Window& window);

// Waits up to TIMEOUT for the main window of PROCESS: a visible top-level
// dialog of it that is not a message box and, when TITLE is given, has that
// title. Fails at once when the process ends first.
Result<Window> WaitForMainWindow(const Process& process, const std::optional<std::wstring>& title,
                                 Milliseconds timeout);

// What a message box shows.
struct MessageBoxInfo {
  Window window;
  DWORD processId = 0;
  std::wstring caption;
  std::wstring text;
  // The ids of its visible buttons (IDOK, IDCANCEL, IDYES, IDNO, ...) in
  // ascending order. Message boxes may hold hidden buttons of other types.
  std::vector<int> buttons;
  bool hasOwner = false;

  bool HasButton(int id) const;
};

// The message boxes that processes accepted by OF_PROCESS show now, in z order.
std::vector<MessageBoxInfo> MessageBoxes(const std::function<bool(DWORD)>& ofProcess);
// The message boxes of process ID.
std::vector<MessageBoxInfo> MessageBoxesOf(DWORD processId);
// Waits up to TIMEOUT until processes accepted by OF_PROCESS show at least one
// message box, and gives them all.
Result<std::vector<MessageBoxInfo>> WaitForMessageBoxes(const std::function<bool(DWORD)>& ofProcess,
                                                        Milliseconds timeout);
// Answers BOX with button ID (IDOK, IDYES, ...): posts BM_CLICK to it.
Result<Done> Answer(const MessageBoxInfo& box, int buttonId);

// "OK", "Cancel", "Yes", ... for a standard button id, else its number.
std::wstring ButtonName(int id);
// The standard button id named NAME (OK, Cancel, Abort, Retry, Ignore, Yes,
// No, TryAgain, Continue, without regard to case) or given as a number.
std::optional<int> ButtonId(std::wstring_view name);

// "0 (0x00000000)", "-3 (0xFFFFFFFD)": an exit code as signed and as hex.
std::wstring DescribeExitCode(DWORD code);

}  // namespace e2e
