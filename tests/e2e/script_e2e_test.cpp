// The description script seen from outside: a copy of the program whose
// SCRIPTFILE 161 resource holds a broken script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "running_tool.h"

namespace e2e {
namespace {

// A copy of the program (QRT_TOOL_EXE) in a folder of its own, with its
// script resource replaced by SCRIPT (written as UTF-16LE with byte-order
// mark, in the language of the program's resources, US English).
Result<std::wstring> CopyWithScript(const std::wstring& script) {
  wchar_t tool[MAX_PATH * 2];
  const DWORD n = ::GetEnvironmentVariableW(L"QRT_TOOL_EXE", tool, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return Failure{L"QRT_TOOL_EXE is not set"};
  wchar_t temp[MAX_PATH + 1];
  if (::GetTempPathW(MAX_PATH, temp) == 0) return Failure{L"no temporary folder"};
  const std::wstring folder = std::wstring(temp) + L"qrt_script_e2e";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"\\QuelvixRemovalTool.exe";
  if (!::CopyFileW(tool, copy.c_str(), FALSE)) return Failure{L"cannot copy " + copy};

  std::wstring data = L"\uFEFF" + script;
  HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
  if (update == nullptr) return Failure{L"BeginUpdateResourceW failed"};
  const BOOL replaced = ::UpdateResourceW(update, L"SCRIPTFILE", MAKEINTRESOURCEW(161),
                                          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), data.data(),
                                          static_cast<DWORD>(data.size() * sizeof(wchar_t)));
  if (!::EndUpdateResourceW(update, replaced ? FALSE : TRUE) || !replaced) {
    return Failure{L"cannot replace the script resource"};
  }
  return copy;
}

// The message boxes of PROCESS once one with CAPTION is shown.
std::vector<MessageBoxInfo> WaitForBox(const Process& process, const std::wstring& caption) {
  const DWORD id = process.id();
  const auto boxes = Poll(kStartTimeout, [&]() -> std::optional<std::vector<MessageBoxInfo>> {
    auto shown = MessageBoxesOf(id);
    for (const MessageBoxInfo& box : shown) {
      if (box.caption == caption) return shown;
    }
    return std::nullopt;
  });
  return boxes ? *boxes : std::vector<MessageBoxInfo>{};
}

TEST(ScriptE2eTest, BrokenScriptShowsItsParseErrorThenTheClosingBoxAndEndsWithMinus20) {
  const auto copy = CopyWithScript(
      L"[Malware Worm/NetSky.P]\r\n\r\nSIGNATURE_FILE 0A1B2C3D4E\r\nSIGNATURE_FILE 12G4\r\n");
  ASSERT_TRUE(Ok(copy));
  auto started = Process::Start(*copy);
  ASSERT_TRUE(Ok(started));
  Process& tool = *started;
  struct KillOnFailure {
    Process& process;
    ~KillOnFailure() {
      if (process.Running()) process.Kill();
    }
  } killOnFailure{tool};

  auto boxes = WaitForBox(tool, L"Parse Error");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            L"Line   4: The line contains a bad character encountered at position 3.\n");
  EXPECT_EQ(boxes[0].buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(boxes[0].hasOwner);
  EXPECT_EQ(Dialogs(tool.id()).size(), 1u);  // the box alone: no main window
  ASSERT_TRUE(Ok(Answer(boxes[0], IDOK)));

  boxes = WaitForBox(tool, L"Error");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            L"The application will not start until you fix the previous parse error.");
  EXPECT_EQ(boxes[0].buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(boxes[0].hasOwner);
  EXPECT_EQ(Dialogs(tool.id()).size(), 1u);
  ASSERT_TRUE(Ok(Answer(boxes[0], IDOK)));

  const auto status = tool.WaitForExit(kExitTimeout);
  ASSERT_TRUE(Ok(status));
  EXPECT_EQ(*status, 0xFFFFFFECu) << Utf8(DescribeExitCode(*status));  // -20
}

}  // namespace
}  // namespace e2e
