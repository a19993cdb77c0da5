// The log file: a copy of the output view, written once when the program
// leaves through its exit path.
//
// Format: UTF-16 little-endian without a byte-order mark. When appending, a
// separator line of 75 "-" and an empty line come first. Then the local time
// as "[day/month/year hour:minute:second]" (no leading zeros) on a line of
// its own, then the view's text with every line break written as CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace app {

// The settings of the command line that govern the log file.
struct LogSettings {
  bool logEnabled = false;
  bool appendLog = false;
  std::u16string logFileName;
};

inline constexpr std::size_t kLogSeparatorDashes = 75;
inline constexpr char16_t kLogStampFormat[] = u"[%d/%d/%d %d:%d:%d]\r\n";

// Writes the log to `path`:
// - nothing at all unless a scan has been started in this run;
// - the file's attributes are reset to normal first, so that a read-only log
//   is rewritten (a failure there is ignored);
// - the file is opened for writing, shared for reading, created when
//   missing; when it cannot be opened nothing is written and nothing is said;
// - with `appendLog` the file is extended by the separator, the stamp and the
//   text; without it the old content is discarded;
// - errors while writing are not checked; the file is always closed.
// `viewText` is the output view's text, line breaks as single CRs; a CR LF
// or a lone LF in it counts as one line break as well.
void WriteLogFile(platform::System& system, std::u16string_view path, bool appendLog,
                  bool scanStarted, std::u16string_view viewText);

}  // namespace app
