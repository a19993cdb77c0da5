// Loading the script resource at start-up: the text, the missing resource,
// and the end of the program after a parse error.
#include "descriptions/script_loading.h"

#include <gtest/gtest.h>

#include "script_test_support.h"

namespace {

using descriptions::ScriptTextFromBytes;
using platform::fake::ProcessExit;
using script_test::Crlf;
using script_test::ScriptBytes;

TEST(ScriptTextFromBytes, SkipsTheFirstCharacterAndEndsAtNulOrTheEnd) {
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(ScriptTextFromBytes(Bytes{0xFF, 0xFE, 'A', 0, 0x3A, 0x26}), u"A\u263A");
  // The first character is skipped without being examined.
  EXPECT_EQ(ScriptTextFromBytes(Bytes{'X', 0, 'A', 0}), u"A");
  EXPECT_EQ(ScriptTextFromBytes(Bytes{0xFF, 0xFE, 'A', 0, 0, 0, 'B', 0}), u"A");
  // An odd last byte is no character.
  EXPECT_EQ(ScriptTextFromBytes(Bytes{0xFF, 0xFE, 'A', 0, 'B'}), u"A");
  for (const Bytes& empty : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xFE}, Bytes{0, 0, 'A', 0}}) {
    EXPECT_EQ(ScriptTextFromBytes(empty), u"");
  }
}

class ScriptLoadingTest : public script_test::FakeSystemTest {
 protected:
  // Runs the loading; answers the exit status if the process was ended.
  std::optional<int> Load() {
    try {
      parser_ = descriptions::LoadScript(system, Context());
      return std::nullopt;
    } catch (const ProcessExit& exit) {
      return exit.status;
    }
  }

  void SetScript(std::string_view script) {
    system.resourceData[{descriptions::kScriptResourceType, descriptions::kScriptResourceName}] =
        ScriptBytes(Crlf(script));
  }

  std::unique_ptr<descriptions::ScriptParser> parser_;
};

TEST_F(ScriptLoadingTest, MissingResourceGivesNoDescriptionsAndNoMessage) {
  system.resourceData[{u"SCRIPTFILE", u"#162"}] = ScriptBytes(u"[Malware");
  EXPECT_EQ(Load(), std::nullopt);
  EXPECT_EQ(parser_, nullptr);
  EXPECT_TRUE(system.messageBoxes.empty());
}

TEST_F(ScriptLoadingTest, ParseErrorShowsItsMessageThenTheClosingOneAndEndsWithMinus20) {
  SetScript("[Malware A.B]\nSIGNATURE_FILE 123\n");
  EXPECT_EQ(Load(), -20);
  EXPECT_EQ(Boxes(),
            (std::vector<std::string>{
                "[Parse Error] Line   2: The line contains a signature with odd length (must be "
                "even): 3.\n",
                "[Error] The application will not start until you fix the previous parse error."}));
  for (const auto& box : system.messageBoxes) {
    EXPECT_EQ(box.owner, 0u);
    EXPECT_EQ(box.type, platform::kMbOk);
  }
  EXPECT_TRUE(system.dialogs.empty());
}

TEST_F(ScriptLoadingTest, WarningAloneDoesNotStopTheProgram) {
  SetScript("[Malware A.B]\nSIGNATURE_FILE 12\nREMOVE_FILE \"x\n");
  EXPECT_EQ(Load(), std::nullopt);
  ASSERT_NE(parser_, nullptr);
  EXPECT_EQ(parser_->records().size(), 1u);
  EXPECT_EQ(system.messageBoxes.size(), 1u);
}

TEST_F(ScriptLoadingTest, BuiltInScriptLoadsWithoutMessage) {
  script_test::InstallBuiltInScript(system);
  EXPECT_EQ(Load(), std::nullopt);
  ASSERT_NE(parser_, nullptr);
  EXPECT_EQ(parser_->records().size(), 5u);
  EXPECT_TRUE(system.messageBoxes.empty());
}

TEST_F(ScriptLoadingTest, EmptyResourceIsAValidScript) {
  system.resourceData[{descriptions::kScriptResourceType, descriptions::kScriptResourceName}] = {};
  EXPECT_EQ(Load(), std::nullopt);
  ASSERT_NE(parser_, nullptr);
  EXPECT_TRUE(parser_->records().empty());
}

}  // namespace
