// The main window of the real program: how it opens, its clock, and the Exit
// button.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "running_tool.h"

namespace e2e {
namespace {

// Seconds since midnight shown by a clock text "HH:MM:SS", or nothing when
// the text has another form.
std::optional<int> ClockSeconds(std::wstring_view text) {
  if (text.size() != 8 || text[2] != L':' || text[5] != L':') return std::nullopt;
  int fields[3];
  for (int i = 0; i < 3; ++i) {
    const wchar_t high = text[static_cast<std::size_t>(3 * i)];
    const wchar_t low = text[static_cast<std::size_t>(3 * i + 1)];
    if (high < L'0' || high > L'9' || low < L'0' || low > L'9') return std::nullopt;
    fields[i] = (high - L'0') * 10 + (low - L'0');
  }
  if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
  return fields[0] * 3600 + fields[1] * 60 + fields[2];
}

int SecondsNow() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
}

// Distance of two times of day in seconds, across midnight.
int SecondsApart(int a, int b) {
  const int d = (a - b + 86400) % 86400;
  return d > 43200 ? 86400 - d : d;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(tool_.Start());
    ASSERT_NO_FATAL_FAILURE(tool_.WaitForMainWindow());
  }

  // Waits for the clock pane to show a time of day; gives its text.
  std::wstring WaitForClock(Milliseconds timeout) {
    std::wstring last;
    const auto shown = Poll(timeout, [&]() -> std::optional<std::wstring> {
      const auto text = tool_.window().StatusPaneText(kClockPane);
      if (!text) return std::nullopt;
      last = *text;
      return ClockSeconds(*text) ? std::optional(*text) : std::nullopt;
    });
    EXPECT_TRUE(shown) << "clock pane shows \"" << Utf8(last) << "\"";
    return shown.value_or(L"");
  }

  RunningTool tool_;
};

TEST_F(MainWindowTest, OpensWithTitleAndButtons) {
  EXPECT_FALSE(tool_.window().Owner().Exists());
  struct Button {
    int id;
    const wchar_t* text;
    bool enabled;
  };
  for (const Button& button :
       {Button{kStartButton, L"&Start scan", true}, Button{kStopButton, L"S&top scan", false},
        Button{kExitButton, L"E&xit", true}}) {
    tool_.ExpectButton(button.id, button.text, button.enabled);
  }
  EXPECT_TRUE(MessageBoxesOf(tool_.process().id()).empty());
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
}

TEST_F(MainWindowTest, ClockInPane1ShowsTheTimeOfDayAndTicks) {
  const std::wstring first = WaitForClock(Milliseconds{5000});
  ASSERT_FALSE(first.empty());
  EXPECT_LE(SecondsApart(*ClockSeconds(first), SecondsNow()), 5) << Utf8(first);
  const auto next = Poll(Milliseconds{5000}, [&]() -> std::optional<std::wstring> {
    const auto text = tool_.window().StatusPaneText(kClockPane);
    if (!text || *text == first) return std::nullopt;
    return *text;
  });
  ASSERT_TRUE(next) << "the clock stays at " << Utf8(first);
  EXPECT_TRUE(ClockSeconds(*next)) << Utf8(*next);
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
}

TEST_F(MainWindowTest, ExitEndsTheProgramWithStatus0) {
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
  EXPECT_FALSE(tool_.window().Exists());
}

}  // namespace
}  // namespace e2e
