// Only one copy of the program runs at a time.
#include <gtest/gtest.h>

#include "running_tool.h"

namespace e2e {
namespace {

TEST(SingleInstanceTest, SecondCopyShowsOneErrorBoxAndEndsWithMinus3WhileTheFirstGoesOn) {
  RunningTool first;
  ASSERT_NO_FATAL_FAILURE(first.Start());
  ASSERT_NO_FATAL_FAILURE(first.WaitForMainWindow());

  RunningTool second;
  ASSERT_NO_FATAL_FAILURE(second.Start());
  const auto boxes = second.WaitForMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  const MessageBoxInfo& box = boxes.front();
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_EQ(box.text, L"Program is already running.");
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(box.hasOwner);
  // The box is all the second copy shows.
  EXPECT_EQ(Dialogs(second.process().id()).size(), 1u);

  ASSERT_TRUE(Ok(Answer(box, IDOK)));
  second.ExpectExitStatus(0xFFFFFFFD);  // -3

  EXPECT_TRUE(first.process().Running());
  EXPECT_TRUE(first.window().Responds());
  const auto title = first.window().Text();
  ASSERT_TRUE(Ok(title));
  EXPECT_EQ(*title, kMainWindowTitle);
  EXPECT_TRUE(MessageBoxesOf(first.process().id()).empty());
  first.Click(kExitButton);
  first.ExpectExitStatus(0);
}

}  // namespace
}  // namespace e2e
