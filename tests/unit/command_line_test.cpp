#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace {

using platform::CharFormat;
using platform::fake::FakeSystem;

constexpr CharFormat kPlain{false, 0, false};
constexpr CharFormat kHeading{true, 0, false};
constexpr CharFormat kDefault{false, 0, true};

// Consecutive text in one format.
struct Piece {
  std::string text;
  CharFormat format;
  bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& piece) {
  return out << '"' << piece.text << "\" bold=" << piece.format.bold << " colour=0x" << std::hex
             << piece.format.colour << std::dec << " auto=" << piece.format.autoColour;
}

// Keeps every Append as it came.
class RecordingOutput final : public app::CommandLineOutput {
 public:
  void Append(std::u16string_view text, const CharFormat& format) override {
    appends.push_back(Piece{text::ToUtf8(text), format});
  }
  // The appended texts, each as one message.
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const Piece& piece : appends) texts.push_back(piece.text);
    return texts;
  }
  // The appends joined where the format stays the same.
  std::vector<Piece> Runs() const {
    std::vector<Piece> runs;
    for (const Piece& piece : appends) {
      if (!runs.empty() && runs.back().format == piece.format) {
        runs.back().text += piece.text;
      } else {
        runs.push_back(piece);
      }
    }
    return runs;
  }
  std::vector<Piece> appends;
};

std::vector<std::string> Utf8(const std::vector<std::u16string>& texts) {
  std::vector<std::string> out;
  for (const auto& t : texts) out.push_back(text::ToUtf8(t));
  return out;
}

std::string Saving(const std::string& name) {
  return "- Saving results to logfile \"" + name + "\".\r\n";
}
std::string Appending(const std::string& name) {
  return "- Appending results to logfile \"" + name + "\".\r\n";
}
std::string AccessError(const std::string& name) {
  return "Error: failed to access logfile \"" + name + "\".\r\n";
}
const std::string kLogNoLog = "- Warning: incompatible options: /LOG and /NOLOG.\r\n";
const std::string kAppendNoLog = "- Warning: incompatible options: /APPEND and  /NOLOG.\r\n";
const std::string kNameMissing = "- Error: \"/LOG\" option requires a filename.\r\n";
const std::string kBadName = "- Error: logfile name contains invalid characters.\r\n";
const std::string kSilent = "- Silent Mode, program will exit after scan.\r\n";
std::string InvalidOption(const std::string& arg) {
  return "- Error: invalid option: \"" + arg + "\"\r\n";
}

TEST(ReadArguments, PositionsQuotesSpacesAndTrimming) {
  const std::u16string longArg(300, u'x');
  const struct {
    const char* label;
    std::u16string line;
    std::vector<std::string> arguments;
  } cases[] = {
      {"empty line", u"", {}},
      {"one character", u"p", {}},
      {"program only", u"QRT.exe", {"QRT.exe"}},
      {"trailing spaces dropped", u"QRT.exe /log x.log   ", {"QRT.exe", "/log", "x.log"}},
      {"quoted program path",
       u"\"C:\\Program Files\\QRT.exe\" /silent",
       {"C:\\Program Files\\QRT.exe", "/silent"}},
      {"quoted path with spaces",
       u"QRT.exe /LOG \"C:\\My Logs\\x.log\" c:",
       {"QRT.exe", "/LOG", "C:\\My Logs\\x.log", "c:"}},
      {"last letter after an unquoted argument is not read",
       u"QRT.exe /LOG a",
       {"QRT.exe", "/LOG"}},
      {"last letter after a quoted argument is read", u"\"QRT.exe\" a", {"QRT.exe", "a"}},
      {"two spaces are skipped, the last letter still not read", u"p  ab c", {"p", "ab"}},
      {"a last letter after two spaces is read", u"p ab  c", {"p", "ab", "c"}},
      {"three spaces give an empty argument", u"p   ab", {"p", "", "ab"}},
      {"unclosed quote runs through the next space", u"p \"a b c", {"p", "\"a", "b"}},
      {"unclosed quote without a space runs to the end", u"p \"abc", {"p", "\"abc"}},
      {"quote inside an argument is kept", u"p /log\"a b\"", {"p", "/log\"a", "b\""}},
      {"only the outer quotes go, after trimming", u"p \" a \" bc", {"p", " a ", "bc"}},
      {"a pair of quotes is an empty argument", u"p \"\" bc", {"p", "", "bc"}},
      {"tabs are trimmed, not separators", u"p \tx\t yz", {"p", "x", "yz"}},
      {"the line ends at a zero character", std::u16string(u"p ab\0 /x", 8), {"p", "ab"}},
      {"an over-long argument comes out whole",
       u"p " + longArg + u" yz",
       {"p", text::ToUtf8(longArg), "yz"}},
      {"an over-long quoted argument comes out whole",
       u"p \"" + longArg + u"\" yz",
       {"p", text::ToUtf8(longArg), "yz"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8(app::ReadArguments(c.line)), c.arguments) << c.label;
  }
}

TEST(ExecutableBaseName, FolderAndExtensionGo) {
  EXPECT_EQ(app::ExecutableBaseName(u"C:\\Program Files\\Quelvix\\QuelvixRemovalTool.exe"),
            u"QuelvixRemovalTool");
  EXPECT_EQ(app::ExecutableBaseName(u"C:/tools/qrt.v2.EXE"), u"qrt.v2");
  EXPECT_EQ(app::ExecutableBaseName(u"D:qrt"), u"qrt");
  EXPECT_EQ(app::ExecutableBaseName(u"C:\\my.dir\\qrt"), u"qrt");
}

// A fake Windows whose current folder C:\Tools holds a read-only log, an
// existing log and the folder "My Logs".
class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest() {
    system_.fileSystem.currentDirectory = u"C:\\Tools";
    system_.fileSystem.AddFolder(u"C:\\Tools\\My Logs");
    system_.fileSystem.AddFile(u"C:\\Tools\\old.log", {'o', 0}).attributes = 0;
    system_.fileSystem.AddFile(u"C:\\Tools\\ro.log").attributes = platform::kFileAttributeReadOnly;
  }

  app::CommandLineResult Read(std::u16string_view line) {
    return app::ReadCommandLine(system_, line, u"QRT", helpShown_, out_);
  }

  FakeSystem system_;
  bool helpShown_ = false;
  RecordingOutput out_;
};

TEST_F(CommandLineTest, MessagesSettingsAndDrives) {
  const std::u16string longName(260, u'n');
  const std::u16string longestName(259, u'n');
  const struct {
    const char* label;
    std::u16string line;
    std::vector<std::string> messages;
    bool logEnabled;
    std::string logFileName;
    bool appendLog;
    bool silent;
    std::vector<std::string> drives;
  } cases[] = {
      {"no arguments", u"QRT.exe", {Saving("QRT.log")}, true, "QRT.log", false, false, {}},
      {"/log name then /nolog",
       u"QRT.exe /log x.log /nolog",
       {kLogNoLog},
       false,
       "x.log",
       false,
       false,
       {}},
      {"/nolog then /log name",
       u"QRT.exe /nolog /log x.log",
       {kLogNoLog, Saving("x.log")},
       true,
       "x.log",
       false,
       false,
       {}},
      {"/append then /nolog",
       u"QRT.exe /APPEND /NOLOG",
       {kAppendNoLog},
       false,
       "QRT.log",
       true,
       false,
       {}},
      {"/nolog then /append",
       u"QRT.exe /NOLOG /APPEND",
       {kAppendNoLog},
       false,
       "QRT.log",
       true,
       false,
       {}},
      {"each warning once",
       u"QRT.exe /log a.log /append /nolog /log b.log /nolog /append /nolog",
       {kLogNoLog, kAppendNoLog},
       false,
       "b.log",
       true,
       false,
       {}},
      {"an option where the name is awaited",
       u"QRT.exe /LOG /SILENT",
       {kNameMissing},
       false,
       "QRT.log",
       false,
       false,
       {}},
      {"that option is not applied",
       u"QRT.exe /log -nolog /append",
       {kNameMissing},
       false,
       "QRT.log",
       true,
       false,
       {}},
      {"a later /log name enables the log again",
       u"QRT.exe /log *.log /log y.log",
       {kBadName, Saving("y.log")},
       true,
       "y.log",
       false,
       false,
       {}},
      {"quoted name with spaces",
       u"QRT.exe /LOG \"C:\\Tools\\My Logs\\run.log\"",
       {Saving("C:\\Tools\\My Logs\\run.log")},
       true,
       "C:\\Tools\\My Logs\\run.log",
       false,
       false,
       {}},
      {"wildcard *", u"QRT.exe /LOG *.log", {kBadName}, false, "QRT.log", false, false, {}},
      {"wildcard ?", u"QRT.exe /LOG a?.log c:", {kBadName}, false, "QRT.log", false, false, {"c:"}},
      {"name over 259 characters",
       u"QRT.exe /log " + longName,
       {kBadName},
       false,
       "QRT.log",
       false,
       false,
       {}},
      {"name of 259 characters",
       u"QRT.exe /log " + longestName,
       {Saving(text::ToUtf8(longestName))},
       true,
       text::ToUtf8(longestName),
       false,
       false,
       {}},
      {"over-long option",
       u"QRT.exe /" + longName,
       {InvalidOption("/" + text::ToUtf8(longName)), Saving("QRT.log")},
       true,
       "QRT.log",
       false,
       false,
       {}},
      {"over-long other argument",
       u"QRT.exe " + longName + u" d:",
       {Saving("QRT.log")},
       true,
       "QRT.log",
       false,
       false,
       {"d:"}},
      {"drives as typed, in order, repeated",
       u"QRT.exe c: D: c: CD: 1: [: e:x z:",
       {Saving("QRT.log")},
       true,
       "QRT.log",
       false,
       false,
       {"c:", "D:", "c:", "z:"}},
      {"/log with a final letter",
       u"QRT.exe /LOG a",
       {Saving("QRT.log")},
       true,
       "QRT.log",
       false,
       false,
       {}},
      {"/log last keeps the log settings",
       u"QRT.exe /nolog /log",
       {kLogNoLog},
       false,
       "QRT.log",
       false,
       false,
       {}},
      {"empty name from three spaces",
       u"QRT.exe /log   xy",
       {AccessError("")},
       true,
       "",
       false,
       false,
       {}},
      {"unknown options, one-character arguments ignored",
       u"QRT.exe / - /x -logfile /h:",
       {InvalidOption("/x"), InvalidOption("-logfile"), InvalidOption("/h:"), Saving("QRT.log")},
       true,
       "QRT.log",
       false,
       false,
       {}},
      {"silent",
       u"QRT.exe /silent",
       {Saving("QRT.log"), kSilent},
       true,
       "QRT.log",
       false,
       true,
       {}},
      {"silent without a log",
       u"QRT.exe -SiLeNt -NoLog",
       {kSilent},
       false,
       "QRT.log",
       false,
       true,
       {}},
      {"append to the default",
       u"QRT.exe -Append",
       {Appending("QRT.log")},
       true,
       "QRT.log",
       true,
       false,
       {}},
      {"existing writable log",
       u"QRT.exe /append /log old.log",
       {Appending("old.log")},
       true,
       "old.log",
       true,
       false,
       {}},
      {"read-only log",
       u"QRT.exe /log ro.log",
       {AccessError("ro.log")},
       true,
       "ro.log",
       false,
       false,
       {}},
      {"log in a missing folder",
       u"QRT.exe /log C:\\none\\x.log /append",
       {AccessError("C:\\none\\x.log")},
       true,
       "C:\\none\\x.log",
       true,
       false,
       {}},
  };
  for (const auto& c : cases) {
    out_ = RecordingOutput{};
    const app::CommandLineResult result = Read(c.line);
    EXPECT_EQ(out_.Messages(), c.messages) << c.label;
    for (const Piece& append : out_.appends) EXPECT_EQ(append.format, kDefault) << c.label;
    EXPECT_EQ(result.log.logEnabled, c.logEnabled) << c.label;
    EXPECT_EQ(text::ToUtf8(result.log.logFileName), c.logFileName) << c.label;
    EXPECT_EQ(result.log.appendLog, c.appendLog) << c.label;
    EXPECT_EQ(result.silent, c.silent) << c.label;
    EXPECT_EQ(Utf8(std::vector<std::u16string>(result.drives.begin(), result.drives.end())),
              c.drives)
        << c.label;
    EXPECT_FALSE(helpShown_) << c.label;
  }
  // The log file tests left nothing behind and changed nothing.
  EXPECT_EQ(system_.fileSystem.Find(u"C:\\Tools\\QRT.log"), nullptr);
  EXPECT_EQ(system_.fileSystem.Find(u"C:\\Tools\\My Logs\\run.log"), nullptr);
  EXPECT_EQ(system_.fileSystem.Find(u"C:\\Tools\\old.log")->bytes,
            (std::vector<std::uint8_t>{'o', 0}));
  EXPECT_EQ(system_.fileSystem.OpenHandleCount(), 0u);
}

TEST_F(CommandLineTest, HelpTextRunsAndFormats) {
  Read(u"QRT.exe /?");
  const std::vector<Piece> expected = {
      {"\r\n", kPlain},
      {"Syntax:\r\n", kHeading},
      {"QRT path /options [driveletter: driveletter: ...]\r\n\r\n", kPlain},
      {"Available options:\r\n", kHeading},
      {"/NOLOG\t\t\t: Cancel log file creation\r\n"
       "/LOG filename\t\t: Change default log filename\r\n"
       "/APPEND\t\t: Extends existing log instead of replacing it\r\n"
       "/HELP\t\t\t: Shows this help\r\n"
       "\r\n",
       kPlain},
      {"Return codes:\r\n", kHeading},
      {"< 0 : Error during scan.\r\n"
       "= 0 : No error and no malware was found.\r\n"
       "> 0 : Malware was found.\r\n"
       "\r\n",
       kPlain},
      {Saving("QRT.log"), kDefault},
  };
  EXPECT_EQ(out_.Runs(), expected);
  EXPECT_TRUE(helpShown_);
}

TEST_F(CommandLineTest, HelpOncePerRunInEveryForm) {
  for (const char16_t* form : {u"/?", u"/H", u"/HELP", u"-?", u"-h", u"-Help"}) {
    helpShown_ = false;
    out_ = RecordingOutput{};
    Read(std::u16string(u"QRT.exe ") + form + u" /help -? c:");
    EXPECT_TRUE(helpShown_) << text::ToUtf8(form);
    // The help's seven runs and the log line: the help once.
    EXPECT_EQ(out_.Runs().size(), 8u) << text::ToUtf8(form);
  }
  // Shown earlier in the run: not again.
  out_ = RecordingOutput{};
  Read(u"QRT.exe /? c:");
  EXPECT_EQ(out_.Messages(), (std::vector<std::string>{Saving("QRT.log")}));
  EXPECT_TRUE(helpShown_);
}

TEST_F(CommandLineTest, LogFileWritability) {
  auto& files = system_.fileSystem;
  // Missing, in an existing folder: created, closed and deleted again.
  EXPECT_TRUE(app::IsLogFileWritable(system_, u"new.log"));
  EXPECT_EQ(files.Find(u"C:\\Tools\\new.log"), nullptr);
  EXPECT_TRUE(app::IsLogFileWritable(system_, u"C:\\Tools\\My Logs\\new.log"));
  EXPECT_EQ(files.Find(u"C:\\Tools\\My Logs\\new.log"), nullptr);
  // Existing and writable: left as it was.
  EXPECT_TRUE(app::IsLogFileWritable(system_, u"old.log"));
  ASSERT_NE(files.Find(u"C:\\Tools\\old.log"), nullptr);
  EXPECT_EQ(files.Find(u"C:\\Tools\\old.log")->bytes, (std::vector<std::uint8_t>{'o', 0}));
  // Not writable: read-only, held by another program, a folder, no folder.
  files.AddFile(u"C:\\Tools\\busy.log").refusesOpening = true;
  for (const char16_t* path : {u"ro.log", u"busy.log", u"My Logs", u"C:\\none\\x.log"}) {
    EXPECT_FALSE(app::IsLogFileWritable(system_, path)) << text::ToUtf8(path);
  }
  EXPECT_NE(files.Find(u"C:\\Tools\\ro.log"), nullptr);
  EXPECT_NE(files.Find(u"C:\\Tools\\busy.log"), nullptr);
  EXPECT_EQ(files.Find(u"C:\\none\\x.log"), nullptr);
  EXPECT_EQ(files.OpenHandleCount(), 0u);
  EXPECT_TRUE(files.writes.empty());
}

}  // namespace
