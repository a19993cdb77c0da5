// libFuzzer target: the command line reader (the argument reader and the
// options it feeds) on arbitrary command lines in the fake Windows. It must
// neither crash nor read past a buffer (the sanitizers watch), and:
// - every argument is a piece of the line before its first zero character,
//   and the arguments together are no longer than that line;
// - a log file name taken from the line has no wildcard and fits a path
//   buffer; drives are a letter and a colon;
// - the help text comes once;
// - the log file test leaves the files as they were: no handle open, no
//   test file left behind, an existing log not emptied.
// The first input byte picks whether the help was shown before (its bit
// 1); the rest is the line, a byte a character, where 0x01 takes the next
// two bytes as one UTF-16 unit (zero characters, surrogates and any other
// unit).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "platform/fake/fake_system.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Counts the help text's headings (bold), which nothing else writes.
class HeadingCounter final : public app::CommandLineOutput {
 public:
  void Append(std::u16string_view, const platform::CharFormat& format) override {
    if (format.bold) ++headings;
  }
  std::size_t headings = 0;
};

std::u16string LineOf(std::span<const std::uint8_t> bytes) {
  std::u16string line;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0x01 && i + 2 < bytes.size()) {
      line.push_back(static_cast<char16_t>(bytes[i + 1] | (bytes[i + 2] << 8)));
      i += 2;
    } else {
      line.push_back(static_cast<char16_t>(bytes[i]));
    }
  }
  return line;
}

bool IsDriveArgument(std::u16string_view arg) {
  if (arg.size() != 2 || arg[1] != u':') return false;
  const char16_t letter = arg[0];
  return (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
}

const std::vector<std::uint8_t> kOldLog = {'o', 'l', 'd', '\r', '\n'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  bool helpShown = (data[0] & 2) != 0;
  const bool helpShownBefore = helpShown;
  const std::u16string line = LineOf(std::span(data + 1, size - 1));
  const std::u16string_view beforeZero =
      std::u16string_view(line).substr(0, std::u16string_view(line).find(u'\0'));

  std::size_t total = 0;
  for (const std::u16string& arg : app::ReadArguments(line)) {
    Check(beforeZero.find(arg) != std::u16string_view::npos);
    total += arg.size();
  }
  Check(total <= beforeZero.size());

  // The current folder holds an existing log, a read-only one and a folder.
  platform::fake::FakeSystem system;
  system.fileSystem.currentDirectory = u"C:\\Tools";
  system.fileSystem.AddFolder(u"C:\\Tools\\My Logs");
  system.fileSystem.AddFile(u"C:\\Tools\\old.log", kOldLog);
  system.fileSystem.AddFile(u"C:\\Tools\\ro.log").attributes = platform::kFileAttributeReadOnly;

  HeadingCounter out;
  const app::CommandLineResult result = app::ReadCommandLine(system, line, u"QRT", helpShown, out);

  const std::u16string& name = result.log.logFileName;
  if (name != u"QRT.log") {
    Check(name.find_first_of(u"*?") == std::u16string::npos);
    Check(name.size() <= app::kMaxLogFileNameLength);
  }
  for (const std::u16string& drive : result.drives) Check(IsDriveArgument(drive));
  // The help text is written when it is asked for and was not shown before.
  Check(!helpShownBefore || helpShown);
  Check((out.headings > 0) == (helpShown && !helpShownBefore));

  Check(system.fileSystem.OpenHandleCount() == 0 && system.fileSystem.OpenSearchCount() == 0);
  const platform::fake::FakeFile* old = system.fileSystem.Find(u"C:\\Tools\\old.log");
  Check(old != nullptr && old->bytes == kOldLog);
  Check(system.fileSystem.Find(u"C:\\Tools\\ro.log") != nullptr);
  // The log file test deletes the file it made to try: a file of that name
  // afterwards is one that was there before.
  const platform::fake::FakeFile* named = system.fileSystem.Find(name);
  Check(named == nullptr || named == old || named == system.fileSystem.Find(u"C:\\Tools\\ro.log"));
  return 0;
}
