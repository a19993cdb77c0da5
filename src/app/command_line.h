// The command line: the options /LOG name, /NOLOG, /APPEND, /SILENT and /HELP
// (each also with "-", in any letter case) and drive letters ("C:").
//
// The main window reads it once while it initialises, after the banner and
// before the host line. Every message goes to the output view; nothing here
// stops the program, a bad option only gets a message. The settings and the
// drive list come back as data for the window to keep.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/log_file.h"
#include "app/output_view.h"
#include "common/limits.h"
#include "platform/dialog.h"
#include "platform/system.h"
#include "scan/scanner.h"

namespace app {

// The headings of the help text: bold black.
inline constexpr platform::CharFormat kHelpHeadingFormat{true, platform::Rgb(0, 0, 0), false};

// The default log file name: the executable base name with this format.
inline constexpr char16_t kDefaultLogNameFormat[] = u"%s.log";

// The longest log file name taken from the command line, in characters: a
// path buffer less its terminating zero. A longer name is refused as one
// with wildcards is; it is never cut into a shorter one.
inline constexpr std::size_t kMaxLogFileNameLength = limits::kMaxPathChars - 1;

// Where the command line's messages and the help text go: the end of the
// output view.
class CommandLineOutput {
 public:
  virtual ~CommandLineOutput() = default;
  // Appends `text` at the end in `format`.
  virtual void Append(std::u16string_view text, const platform::CharFormat& format) = 0;
};

// The output view as CommandLineOutput.
class OutputViewWriter final : public CommandLineOutput {
 public:
  explicit OutputViewWriter(OutputView& view) : view_(view) {}
  void Append(std::u16string_view text, const platform::CharFormat& format) override {
    view_.Append(text, format);
  }

 private:
  OutputView& view_;
};

struct CommandLineResult {
  // logEnabled, appendLog and logFileName: by default enabled, replacing,
  // named kDefaultLogNameFormat with the executable base name.
  LogSettings log;
  // Hide the window, scan at once and leave after the scan.
  bool silent = false;
  // The drive arguments as typed ("c:", "D:"), in command line order,
  // repetitions kept. Empty: the file scanner takes all fixed drives.
  scan::DriveNameList drives;
};

// The file name of `modulePath` without its folder and extension:
// "C:\Tools\QRT.exe" gives "QRT", "tool.v2.exe" gives "tool.v2".
std::u16string ExecutableBaseName(std::u16string_view modulePath);

// The arguments of `commandLine` (the process's whole command line, the
// program's path first) as they are read, one after another:
// - the line ends at a zero character; spaces at its end are dropped;
// - an argument that starts with a double quote runs through the next
//   double quote, or through the next space when there is none, or to the
//   end of the line;
// - any other argument runs through the next space (included) or to the end
//   of the line; when the reading position is on a space, it moves one on
//   first, so a run of spaces is mostly skipped, but three spaces in a row
//   give an argument of one space;
// - reading stops when the position is on the line's last character or past
//   it: a one-character argument right after an unquoted argument and its
//   space is not read, while after a quoted one it is (the position rests on
//   the space after the closing quote);
// - each argument is trimmed of white space at both ends and, when it is
//   then at least two characters long and starts and ends with a double
//   quote, loses those two quotes.
// Arguments of any length come out whole.
std::vector<std::u16string> ReadArguments(std::u16string_view commandLine);

// Whether the log file `path` can be written: an existing file when it can
// be opened for writing; a missing one when it can be created (for reading
// and writing, as a new file), which is then closed and deleted again.
bool IsLogFileWritable(platform::System& system, std::u16string_view path);

// Reads the command line and writes its messages to `out`, in the view's
// default format (the help text in its own formats):
// - each argument in order: a pending /LOG takes it as the log file name
//   (an option there: strings::kLogFilenameMissing; "*", "?" or more than
//   kMaxLogFileNameLength characters: strings::kInvalidLogFilename; either
//   disables the log); options as listed above, an unknown one:
//   strings::kInvalidOption; /LOG with /NOLOG and /APPEND with /NOLOG warn
//   once each (strings::kLogNoLogConflict, strings::kAppendNoLogConflict);
//   /HELP writes the help text unless `helpShown`, and sets it; drive letters
//   go to the drive list; anything else is ignored;
// - with the log enabled, the log file test (IsLogFileWritable) and its line:
//   strings::kAppendingLogFile, strings::kSavingLogFile or
//   strings::kLogFileAccessError with the log file name; the log stays
//   enabled in all three cases;
// - in silent mode strings::kSilentMode.
// `exeBaseName` names the default log file and goes into the help text's
// syntax line.
CommandLineResult ReadCommandLine(platform::System& system, std::u16string_view commandLine,
                                  std::u16string_view exeBaseName, bool& helpShown,
                                  CommandLineOutput& out);

// The help text with the executable base name in its syntax line.
void WriteHelpText(platform::System& system, std::u16string_view exeBaseName,
                   CommandLineOutput& out);

}  // namespace app
