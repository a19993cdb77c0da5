// qrt-auto: drives the running Quelvix Removal Tool from scripts, one action
// a call. See kUsage below and README.md.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation.h"

namespace {

constexpr wchar_t kUsage[] =
    LR"usage(Usage: qrt-auto COMMAND [ARGUMENT] [OPTIONS]

Drives the running Quelvix Removal Tool from outside. Its main window is a
visible top-level dialog (class #32770, not a message box) whose title starts
with "Quelvix" or whose process is QuelvixRemovalTool.exe. Commands wait up to
the time-out for it.

Commands:
  wait-window        wait for the main window; print its title
  title              print the main window's title
  text ID            print the text of the main window's control ID
  view-text          print the output view's text (control 1003) as it is,
                     lines ended by CR LF, with no line break added
  status-text        print the status text (control 1004)
  status-pane N      print the text of status bar pane N (0 status, 1 clock)
  enabled ID         print "enabled" or "disabled" for control ID
  click ID           click button ID (posts BM_CLICK); fails when the button
                     is disabled or hidden
  message-boxes      print the tool's message boxes, one a line:
                     PID<TAB>CAPTION<TAB>TEXT<TAB>BUTTONS (buttons separated by
                     blanks; \ CR LF TAB in texts written as \\ \r \n \t)
  answer BUTTON      answer the tool's message box (the topmost one when there
                     are several) with BUTTON: OK, Cancel, Yes, No, Abort,
                     Retry, Ignore, TryAgain, Continue or a control id; waits
                     up to the time-out for a box
  wait-exit          wait for the tool's process to end; print
                     "exit status N (0xXXXXXXXX)" with its full exit code

Options:
  --timeout MS       how long to wait (default 30000 for wait-window,
                     10000 otherwise)
  --pid PID          only the process PID (any title)
  --process NAME     the tool's executable name (default QuelvixRemovalTool.exe)
  --title-prefix T   the main window's title prefix (default Quelvix)
  --wait             message-boxes: wait until at least one box is shown
  --wait-exit        click, answer: then wait for the process to end and print
                     its exit status as wait-exit does
  --help             print this text

Exit status: 0 on success, 1 when a window, control, box or process is not
found or a wait times out (with a message on standard error), 2 on wrong
usage.
)usage";

// Writes TEXT to the console as it is, or as UTF-8 to a pipe or file.
void Write(DWORD stream, std::wstring_view text) {
  HANDLE out = ::GetStdHandle(stream);
  if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(out, &mode)) {
    ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string bytes = e2e::Utf8(text);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

void Print(std::wstring_view line) {
  Write(STD_OUTPUT_HANDLE, line);
  Write(STD_OUTPUT_HANDLE, L"\n");
}

int Fail(std::wstring_view message) {
  Write(STD_ERROR_HANDLE, L"qrt-auto: ");
  Write(STD_ERROR_HANDLE, message);
  Write(STD_ERROR_HANDLE, L"\n");
  return 1;
}

int UsageError(std::wstring_view message) {
  Fail(message);
  Write(STD_ERROR_HANDLE, L"Run qrt-auto --help for the usage.\n");
  return 2;
}

std::optional<long> ParseNumber(std::wstring_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  const std::wstring s(text);
  wchar_t* end = nullptr;
  const long value = std::wcstol(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != L'\0') return std::nullopt;
  return value;
}

std::wstring Escape(std::wstring_view text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    switch (c) {
      case L'\\':
        escaped += L"\\\\";
        break;
      case L'\r':
        escaped += L"\\r";
        break;
      case L'\n':
        escaped += L"\\n";
        break;
      case L'\t':
        escaped += L"\\t";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

struct Options {
  std::wstring command;
  std::vector<std::wstring> arguments;
  std::optional<long> timeoutMs;
  DWORD pid = 0;
  std::wstring processName = L"QuelvixRemovalTool.exe";
  std::wstring titlePrefix = L"Quelvix";
  bool wait = false;
  bool waitExit = false;
  bool help = false;
};

// Reads the command line into OPTIONS; gives an error message on wrong usage.
std::optional<std::wstring> Parse(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i];
    auto value = [&]() -> std::optional<std::wstring_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::wstring_view(argv[++i]);
    };
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      options.help = true;
    } else if (arg == L"--timeout") {
      const auto v = value();
      const auto ms = v ? ParseNumber(*v) : std::nullopt;
      if (!ms || *ms < 0) return L"--timeout needs a number of milliseconds";
      options.timeoutMs = *ms;
    } else if (arg == L"--pid") {
      const auto v = value();
      const auto pid = v ? ParseNumber(*v) : std::nullopt;
      if (!pid || *pid <= 0) return L"--pid needs a process id";
      options.pid = static_cast<DWORD>(*pid);
    } else if (arg == L"--process") {
      const auto v = value();
      if (!v || v->empty()) return L"--process needs an executable name";
      options.processName = *v;
    } else if (arg == L"--title-prefix") {
      const auto v = value();
      if (!v) return L"--title-prefix needs a text";
      options.titlePrefix = *v;
    } else if (arg == L"--wait") {
      options.wait = true;
    } else if (arg == L"--wait-exit") {
      options.waitExit = true;
    } else if (arg.starts_with(L"--")) {
      return L"unknown option " + std::wstring(arg);
    } else if (options.command.empty()) {
      options.command = arg;
    } else {
      options.arguments.emplace_back(arg);
    }
  }
  return std::nullopt;
}

class Driver {
 public:
  explicit Driver(const Options& options)
      : options_(options),
        timeout_(options.timeoutMs.value_or(options.command == L"wait-window" ? 30000 : 10000)) {}

  int Run() {
    const std::wstring& command = options_.command;
    if (command == L"wait-window" || command == L"title") return NoArgument() ? Title() : 2;
    if (command == L"view-text") return NoArgument() ? ViewText() : 2;
    if (command == L"status-text") return NoArgument() ? PrintControlText(1004) : 2;
    if (command == L"message-boxes") return NoArgument() ? ListMessageBoxes() : 2;
    if (command == L"wait-exit") return NoArgument() ? WaitExit() : 2;
    if (command == L"answer") {
      if (options_.arguments.size() != 1) return UsageError(L"answer needs one BUTTON");
      const auto button = e2e::ButtonId(options_.arguments[0]);
      if (!button) return UsageError(L"unknown button " + options_.arguments[0]);
      return AnswerBox(*button);
    }
    if (command == L"text" || command == L"enabled" || command == L"click" ||
        command == L"status-pane") {
      const auto number =
          options_.arguments.size() == 1 ? ParseNumber(options_.arguments[0]) : std::nullopt;
      if (!number || *number < 0 || *number > 0xFFFF) {
        return UsageError(command + L" needs one number");
      }
      const int n = static_cast<int>(*number);
      if (command == L"text") return PrintControlText(n);
      if (command == L"enabled") return Enabled(n);
      if (command == L"click") return Click(n);
      return StatusPane(n);
    }
    return UsageError(command.empty() ? L"no command" : L"unknown command " + command);
  }

 private:
  bool NoArgument() const {
    if (options_.arguments.empty()) return true;
    UsageError(options_.command + L" takes no argument");
    return false;
  }

  // Whether the tool runs in process ID, as --pid or --process tell.
  bool IsTool(DWORD id, const std::vector<DWORD>& named) const {
    if (options_.pid != 0) return id == options_.pid;
    return std::find(named.begin(), named.end(), id) != named.end();
  }

  // Waits for the tool's main window; writes a message and gives nothing when
  // there is none, or more than one.
  std::optional<e2e::Window> MainWindow() {
    std::vector<e2e::Window> windows;
    e2e::Poll(timeout_, [&]() -> std::optional<bool> {
      windows.clear();
      const auto named = e2e::ProcessesNamed(options_.processName);
      for (const e2e::Window& dialog : e2e::Dialogs(options_.pid)) {
        if (e2e::IsMessageBox(dialog)) continue;
        const auto title = dialog.Text();
        const bool titled = title && title->starts_with(options_.titlePrefix);
        if (options_.pid != 0 || titled || IsTool(dialog.ProcessId(), named)) {
          windows.push_back(dialog);
        }
      }
      if (windows.empty()) return std::nullopt;
      return true;
    });
    if (windows.empty()) {
      Fail(L"no main window of the tool within " + std::to_wstring(timeout_.count()) + L" ms");
      return std::nullopt;
    }
    if (windows.size() > 1) {
      std::wstring pids;
      for (const e2e::Window& w : windows) pids += L" " + std::to_wstring(w.ProcessId());
      Fail(L"several main windows, of processes" + pids + L": choose one with --pid");
      return std::nullopt;
    }
    return windows.front();
  }

  int Title() {
    const auto window = MainWindow();
    if (!window) return 1;
    const auto title = window->Text();
    if (!title) return Fail(title.error());
    Print(*title);
    return 0;
  }

  int ViewText() {
    const auto window = MainWindow();
    if (!window) return 1;
    const auto text = window->ControlText(1003);
    if (!text) return Fail(text.error());
    Write(STD_OUTPUT_HANDLE, *text);
    return 0;
  }

  int PrintControlText(int id) {
    const auto window = MainWindow();
    if (!window) return 1;
    const auto text = window->ControlText(id);
    if (!text) return Fail(text.error());
    Print(*text);
    return 0;
  }

  int StatusPane(int pane) {
    const auto window = MainWindow();
    if (!window) return 1;
    const auto text = window->StatusPaneText(pane);
    if (!text) return Fail(text.error());
    Print(*text);
    return 0;
  }

  int Enabled(int id) {
    const auto window = MainWindow();
    if (!window) return 1;
    const auto enabled = window->ControlEnabled(id);
    if (!enabled) return Fail(enabled.error());
    Print(*enabled ? L"enabled" : L"disabled");
    return 0;
  }

  int Click(int id) {
    const auto window = MainWindow();
    if (!window) return 1;
    // The process is opened before the click: it may be gone right after.
    std::optional<e2e::Process> process;
    if (options_.waitExit) {
      auto opened = e2e::Process::Open(window->ProcessId());
      if (!opened) return Fail(opened.error());
      process = std::move(*opened);
    }
    const auto clicked = window->Click(id);
    if (!clicked) return Fail(clicked.error());
    return process ? PrintExit(*process) : 0;
  }

  std::function<bool(DWORD)> ToolProcesses() const {
    return [this](DWORD id) { return IsTool(id, e2e::ProcessesNamed(options_.processName)); };
  }

  int ListMessageBoxes() {
    std::vector<e2e::MessageBoxInfo> boxes;
    if (options_.wait) {
      auto found = e2e::WaitForMessageBoxes(ToolProcesses(), timeout_);
      if (!found) return Fail(found.error());
      boxes = std::move(*found);
    } else {
      boxes = e2e::MessageBoxes(ToolProcesses());
    }
    for (const e2e::MessageBoxInfo& box : boxes) {
      std::wstring buttons;
      for (int id : box.buttons) buttons += (buttons.empty() ? L"" : L" ") + e2e::ButtonName(id);
      Print(std::to_wstring(box.processId) + L"\t" + Escape(box.caption) + L"\t" +
            Escape(box.text) + L"\t" + buttons);
    }
    return 0;
  }

  int AnswerBox(int button) {
    const auto boxes = e2e::WaitForMessageBoxes(ToolProcesses(), timeout_);
    if (!boxes) return Fail(boxes.error());
    const e2e::MessageBoxInfo& box = boxes->front();
    std::optional<e2e::Process> process;
    if (options_.waitExit) {
      auto opened = e2e::Process::Open(box.processId);
      if (!opened) return Fail(opened.error());
      process = std::move(*opened);
    }
    const auto answered = e2e::Answer(box, button);
    if (!answered) return Fail(answered.error());
    Print(L"answered \"" + Escape(box.caption) + L"\" box of process " +
          std::to_wstring(box.processId) + L" with " + e2e::ButtonName(button));
    return process ? PrintExit(*process) : 0;
  }

  int WaitExit() {
    DWORD id = options_.pid;
    if (id == 0) {
      const auto named = e2e::ProcessesNamed(options_.processName);
      if (named.empty()) return Fail(L"no process named " + options_.processName);
      if (named.size() > 1) {
        return Fail(std::to_wstring(named.size()) + L" processes named " + options_.processName +
                    L": choose one with --pid");
      }
      id = named.front();
    }
    auto process = e2e::Process::Open(id);
    if (!process) return Fail(process.error());
    return PrintExit(*process);
  }

  int PrintExit(const e2e::Process& process) {
    const auto code = process.WaitForExit(timeout_);
    if (!code) return Fail(code.error());
    Print(L"exit status " + e2e::DescribeExitCode(*code));
    return 0;
  }

  const Options& options_;
  e2e::Milliseconds timeout_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (const auto error = Parse(argc, argv, options)) return UsageError(*error);
  if (options.help) {
    Write(STD_OUTPUT_HANDLE, kUsage);
    return 0;
  }
  return Driver(options).Run();
}
