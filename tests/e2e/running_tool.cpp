#include "running_tool.h"

#include <windows.h>

namespace e2e {
namespace {

std::wstring ToolPath() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = ::GetEnvironmentVariableW(L"QRT_TOOL_EXE", path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return {};
  return std::wstring(path, n);
}

std::string Describe(const std::vector<MessageBoxInfo>& boxes) {
  std::string text;
  for (const MessageBoxInfo& box : boxes) {
    text += " [\"" + Utf8(box.caption) + "\": \"" + Utf8(box.text) + "\"]";
  }
  return text;
}

}  // namespace

RunningTool::~RunningTool() { process_.Kill(); }

void RunningTool::Start(const std::wstring& arguments) {
  const std::wstring path = ToolPath();
  ASSERT_FALSE(path.empty()) << "QRT_TOOL_EXE must name the program (a Windows path)";
  auto started = Process::Start(path, arguments);
  ASSERT_TRUE(Ok(started));
  process_ = std::move(*started);
}

void RunningTool::WaitForMainWindow() {
  const auto found =
      e2e::WaitForMainWindow(process_, std::wstring(kMainWindowTitle), kStartTimeout);
  ASSERT_TRUE(Ok(found));
  window_ = *found;
}

void RunningTool::ExpectButton(int id, std::wstring_view text, bool enabled) const {
  const auto label = window_.ControlText(id);
  ASSERT_TRUE(Ok(label)) << "button " << id;
  EXPECT_EQ(*label, std::wstring(text)) << "button " << id;
  const auto isEnabled = window_.ControlEnabled(id);
  ASSERT_TRUE(Ok(isEnabled)) << "button " << id;
  EXPECT_EQ(*isEnabled, enabled) << "button " << id;
}

void RunningTool::Click(int id) const { ASSERT_TRUE(Ok(window_.Click(id))) << "button " << id; }

std::vector<MessageBoxInfo> RunningTool::WaitForMessageBoxes() const {
  const DWORD id = process_.id();
  auto boxes = e2e::WaitForMessageBoxes([id](DWORD p) { return p == id; }, kStartTimeout);
  EXPECT_TRUE(Ok(boxes));
  return boxes ? *boxes : std::vector<MessageBoxInfo>{};
}

void RunningTool::ExpectExitStatus(DWORD status, Milliseconds timeout) const {
  const auto code = process_.WaitForExit(timeout);
  ASSERT_TRUE(Ok(code)) << "message boxes shown:" << Describe(MessageBoxesOf(process_.id()));
  EXPECT_EQ(*code, status) << "exit status " << Utf8(DescribeExitCode(*code)) << ", expected "
                           << Utf8(DescribeExitCode(status));
}

}  // namespace e2e
