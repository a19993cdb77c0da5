#include "automation.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cwctype>

namespace e2e {
namespace {

DWORD ToDword(Milliseconds duration) {
  return static_cast<DWORD>(std::clamp<Milliseconds::rep>(duration.count(), 0, 0x7FFFFFFF));
}

std::wstring Number(long long value) { return std::to_wstring(value); }

std::wstring LastError() { return L"error " + Number(::GetLastError()); }

// Sends MESSAGE to a window of another process and gives up after
// kMessageTimeout.
std::optional<LRESULT> SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                            ToDword(kMessageTimeout), &result) == 0) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::wstring Describe(HWND window) {
  wchar_t text[32];
  std::swprintf(text, std::size(text), L"window %p",
                reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

// A buffer in the memory of another process, for messages whose pointer the
// system does not carry across processes (SB_GETTEXTW).
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t bytes) : process_(process), bytes_(bytes) {
    address_ = ::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  void* address() const { return address_; }
  bool Read(void* target) const {
    SIZE_T read = 0;
    return ::ReadProcessMemory(process_, address_, target, bytes_, &read) != FALSE &&
           read == bytes_;
  }

 private:
  HANDLE process_;
  std::size_t bytes_;
  void* address_ = nullptr;
};

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Calls VISIT for every running process (id and executable file name).
template <typename Visit>
void ForEachProcess(Visit visit) {
  const ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more != FALSE;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    visit(entry.th32ProcessID, std::wstring_view(entry.szExeFile));
  }
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

struct DialogSearch {
  DWORD processId;
  std::vector<Window> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<DialogSearch*>(context);
  const Window candidate(window);
  if (!candidate.Visible() || candidate.ClassName() != kDialogClass) return TRUE;
  if (search.processId != 0 && candidate.ProcessId() != search.processId) return TRUE;
  search.found.push_back(candidate);
  return TRUE;
}

constexpr std::array<std::pair<int, const wchar_t*>, 9> kStandardButtons = {{
    {IDOK, L"OK"},
    {IDCANCEL, L"Cancel"},
    {IDABORT, L"Abort"},
    {IDRETRY, L"Retry"},
    {IDIGNORE, L"Ignore"},
    {IDYES, L"Yes"},
    {IDNO, L"No"},
    {10, L"TryAgain"},  // IDTRYAGAIN
    {11, L"Continue"},  // IDCONTINUE
}};

MessageBoxInfo ReadMessageBox(const Window& box) {
  MessageBoxInfo info;
  info.window = box;
  info.processId = box.ProcessId();
  if (auto caption = box.Text()) info.caption = *caption;
  if (auto text = box.ControlText(kMessageBoxTextId)) info.text = *text;
  for (const auto& [id, name] : kStandardButtons) {
    const HWND button = ::GetDlgItem(box.handle(), id);
    if (button != nullptr && ::IsWindowVisible(button)) info.buttons.push_back(id);
  }
  info.hasOwner = box.Owner().handle() != nullptr;
  return info;
}

}  // namespace

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(std::max(n, 0)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), n, nullptr, nullptr);
  return result;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), n);
  return result;
}

// Process.

Process::~Process() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
}

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

Result<Process> Process::Start(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    return Failure{L"cannot start " + exe + L": " + LastError()};
  }
  ::CloseHandle(info.hThread);
  return Process(info.hProcess, info.dwProcessId);
}

Result<Process> Process::Open(DWORD id) {
  HANDLE handle =
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id);
  if (handle == nullptr) return Failure{L"cannot open process " + Number(id) + L": " + LastError()};
  return Process(handle, id);
}

bool Process::Running() const {
  return handle_ != nullptr && ::WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

Result<DWORD> Process::WaitForExit(Milliseconds timeout) const {
  if (handle_ == nullptr) return Failure{L"no process"};
  switch (::WaitForSingleObject(handle_, ToDword(timeout))) {
    case WAIT_OBJECT_0:
      break;
    case WAIT_TIMEOUT:
      return Failure{L"process " + Number(id_) + L" still runs after " + Number(timeout.count()) +
                     L" ms"};
    default:
      return Failure{L"cannot wait for process " + Number(id_) + L": " + LastError()};
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(handle_, &code)) {
    return Failure{L"cannot read the exit code of process " + Number(id_) + L": " + LastError()};
  }
  return code;
}

void Process::Kill() {
  if (!Running()) return;
  ::TerminateProcess(handle_, 1);
  ::WaitForSingleObject(handle_, 5000);
}

std::wstring ProcessName(DWORD id) {
  std::wstring name;
  ForEachProcess([&](DWORD processId, std::wstring_view exe) {
    if (processId == id) name = exe;
  });
  return name;
}

std::vector<DWORD> ProcessesNamed(std::wstring_view name) {
  std::vector<DWORD> ids;
  ForEachProcess([&](DWORD processId, std::wstring_view exe) {
    if (EqualNoCase(exe, name)) ids.push_back(processId);
  });
  return ids;
}

// Window.

bool Window::Exists() const { return handle_ != nullptr && ::IsWindow(handle_); }

bool Window::Visible() const { return handle_ != nullptr && ::IsWindowVisible(handle_); }

bool Window::Responds(Milliseconds timeout) const {
  DWORD_PTR result = 0;
  return Exists() && ::SendMessageTimeoutW(handle_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                           ToDword(timeout), &result) != 0;
}

DWORD Window::ProcessId() const {
  DWORD id = 0;
  if (handle_ != nullptr) ::GetWindowThreadProcessId(handle_, &id);
  return id;
}

std::wstring Window::ClassName() const {
  wchar_t name[256];
  const int n = handle_ != nullptr ? ::GetClassNameW(handle_, name, 256) : 0;
  return std::wstring(name, static_cast<std::size_t>(std::max(n, 0)));
}

Window Window::Owner() const {
  return Window(handle_ != nullptr ? ::GetWindow(handle_, GW_OWNER) : nullptr);
}

Result<std::wstring> Window::Text() const {
  if (!Exists()) return Failure{Describe(handle_) + L" does not exist"};
  const auto length = SendBounded(handle_, WM_GETTEXTLENGTH, 0, 0);
  if (!length) return Failure{Describe(handle_) + L" does not answer WM_GETTEXTLENGTH"};
  // The text may grow between the two messages: a buffer that comes back full
  // is read again with more room.
  std::size_t capacity = static_cast<std::size_t>(std::max<LRESULT>(*length, 0)) + 256;
  for (;;) {
    std::wstring buffer(capacity, L'\0');
    const auto got =
        SendBounded(handle_, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer.data()));
    if (!got) return Failure{Describe(handle_) + L" does not answer WM_GETTEXT"};
    const auto n = static_cast<std::size_t>(std::max<LRESULT>(*got, 0));
    if (n + 1 < capacity) {
      buffer.resize(std::min(n, buffer.find(L'\0')));
      return buffer;
    }
    capacity *= 2;
  }
}

Result<Window> Window::Control(int id) const {
  if (!Exists()) return Failure{Describe(handle_) + L" does not exist"};
  const HWND control = ::GetDlgItem(handle_, id);
  if (control == nullptr) return Failure{L"no control " + Number(id)};
  return Window(control);
}

Result<std::wstring> Window::ControlText(int id) const {
  const auto control = Control(id);
  if (!control) return Failure{control.error()};
  return control->Text();
}

Result<bool> Window::ControlEnabled(int id) const {
  const auto control = Control(id);
  if (!control) return Failure{control.error()};
  return ::IsWindowEnabled(control->handle()) != FALSE;
}

Result<Done> Window::Click(int id) const {
  const auto button = Control(id);
  if (!button) return Failure{button.error()};
  if (!button->Visible()) return Failure{L"button " + Number(id) + L" is hidden"};
  if (!::IsWindowEnabled(button->handle()))
    return Failure{L"button " + Number(id) + L" is disabled"};
  if (!::PostMessageW(button->handle(), BM_CLICK, 0, 0)) {
    return Failure{L"cannot post BM_CLICK to button " + Number(id) + L": " + LastError()};
  }
  return Done{};
}

Result<std::wstring> Window::StatusPaneText(int pane) const {
  if (!Exists()) return Failure{Describe(handle_) + L" does not exist"};
  const HWND bar = ::FindWindowExW(handle_, nullptr, STATUSCLASSNAMEW, nullptr);
  if (bar == nullptr) return Failure{L"the window has no status bar"};
  const auto parts = SendBounded(bar, SB_GETPARTS, 0, 0);
  if (!parts) return Failure{L"the status bar does not answer SB_GETPARTS"};
  if (pane < 0 || pane >= *parts) {
    return Failure{L"the status bar has " + Number(*parts) + L" panes, no pane " + Number(pane)};
  }
  const auto lengthAndType = SendBounded(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane), 0);
  if (!lengthAndType) return Failure{L"the status bar does not answer SB_GETTEXTLENGTHW"};

  // SB_GETTEXTW writes into a buffer of the status bar's process; it takes no
  // size, so the buffer leaves room for a text that grows meanwhile.
  const ScopedHandle process(
      ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, Window(bar).ProcessId()));
  if (!process.valid()) return Failure{L"cannot open the window's process: " + LastError()};
  const std::size_t length = LOWORD(static_cast<DWORD>(*lengthAndType));
  std::vector<wchar_t> text(2 * length + 1024, L'\0');
  const RemoteBuffer remote(process.get(), text.size() * sizeof(wchar_t));
  if (remote.address() == nullptr)
    return Failure{L"cannot allocate in the window's process: " + LastError()};
  if (!SendBounded(bar, SB_GETTEXTW, static_cast<WPARAM>(pane),
                   reinterpret_cast<LPARAM>(remote.address()))) {
    return Failure{L"the status bar does not answer SB_GETTEXTW"};
  }
  if (!remote.Read(text.data()))
    return Failure{L"cannot read the window's process: " + LastError()};
  text.back() = L'\0';
  return std::wstring(text.data());
}

std::vector<Window> Dialogs(DWORD processId) {
  DialogSearch search{processId, {}};
  ::EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsMessageBox(const Window& window) {
  return window.ClassName() == kDialogClass &&
         ::GetDlgItem(window.handle(), kMessageBoxTextId) != nullptr;
}

Result<Window> WaitForMainWindow(const Process& process, const std::optional<std::wstring>& title,
                                 Milliseconds timeout) {
  std::wstring seen;
  // An empty window stops the wait when the process has ended.
  const auto found = Poll(timeout, [&]() -> std::optional<Window> {
    if (!process.Running()) return Window();
    seen.clear();
    for (const Window& dialog : Dialogs(process.id())) {
      if (IsMessageBox(dialog)) continue;
      const auto text = dialog.Text();
      if (!title || (text && *text == *title)) return dialog;
      seen += L" \"" + (text ? *text : L"?") + L"\"";
    }
    return std::nullopt;
  });
  if (found && found->handle() != nullptr) return *found;
  if (const auto code = process.WaitForExit(Milliseconds{0})) {
    return Failure{L"the process ended with exit code " + DescribeExitCode(*code) +
                   L" without showing its main window"};
  }
  return Failure{L"no main window" + (title ? L" titled \"" + *title + L"\"" : L"") + L" within " +
                 Number(timeout.count()) + L" ms" +
                 (seen.empty() ? L"" : L"; dialogs seen:" + seen)};
}

bool MessageBoxInfo::HasButton(int id) const {
  return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
}

std::vector<MessageBoxInfo> MessageBoxes(const std::function<bool(DWORD)>& ofProcess) {
  std::vector<MessageBoxInfo> boxes;
  for (const Window& dialog : Dialogs(0)) {
    if (ofProcess(dialog.ProcessId()) && IsMessageBox(dialog)) {
      boxes.push_back(ReadMessageBox(dialog));
    }
  }
  return boxes;
}

std::vector<MessageBoxInfo> MessageBoxesOf(DWORD processId) {
  return MessageBoxes([processId](DWORD id) { return id == processId; });
}

Result<std::vector<MessageBoxInfo>> WaitForMessageBoxes(const std::function<bool(DWORD)>& ofProcess,
                                                        Milliseconds timeout) {
  auto boxes = Poll(timeout, [&]() -> std::optional<std::vector<MessageBoxInfo>> {
    auto now = MessageBoxes(ofProcess);
    if (now.empty()) return std::nullopt;
    return now;
  });
  if (!boxes) return Failure{L"no message box within " + Number(timeout.count()) + L" ms"};
  return *boxes;
}

Result<Done> Answer(const MessageBoxInfo& box, int buttonId) {
  if (!box.window.Exists()) return Failure{L"the message box is gone"};
  if (!box.HasButton(buttonId)) {
    return Failure{L"the message box has no button " + ButtonName(buttonId)};
  }
  return box.window.Click(buttonId);
}

std::wstring ButtonName(int id) {
  for (const auto& [buttonId, name] : kStandardButtons) {
    if (buttonId == id) return name;
  }
  return std::to_wstring(id);
}

std::optional<int> ButtonId(std::wstring_view name) {
  for (const auto& [id, buttonName] : kStandardButtons) {
    if (EqualNoCase(name, buttonName)) return id;
  }
  if (name.empty() || name.size() > 5 ||
      !std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    return std::nullopt;
  }
  return std::stoi(std::wstring(name));
}

std::wstring DescribeExitCode(DWORD code) {
  wchar_t text[40];
  std::swprintf(text, std::size(text), L"%ld (0x%08lX)", static_cast<long>(static_cast<LONG>(code)),
                static_cast<unsigned long>(code));
  return text;
}

}  // namespace e2e
