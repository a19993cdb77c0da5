#include "app/log_file.h"

#include <vector>

#include "common/limits.h"
#include "common/text.h"

namespace app {
namespace {

// Collects characters as UTF-16LE bytes and writes them whenever a piece is
// full. A line break whose CR and LF fall into two pieces is still written
// as CR LF: the piece boundary only splits the byte stream.
class PieceWriter {
 public:
  PieceWriter(platform::System& system, platform::Handle file) : system_(system), file_(file) {
    bytes_.reserve(limits::kLogPieceLength * 2);
  }

  void Put(char16_t c) {
    bytes_.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(c >> 8));
    if (bytes_.size() == limits::kLogPieceLength * 2) Flush();
  }

  void Put(std::u16string_view s) {
    for (char16_t c : s) Put(c);
  }

  void Flush() {
    if (bytes_.empty()) return;
    system_.files().WriteFile(file_, bytes_);  // a failed write is not checked
    bytes_.clear();
  }

 private:
  platform::System& system_;
  platform::Handle file_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

void WriteLogFile(platform::System& system, std::u16string_view path, bool appendLog,
                  bool scanStarted, std::u16string_view viewText) {
  if (!scanStarted) return;
  system.files().SetFileAttributesWide(path, platform::kFileAttributeNormal);
  const platform::FileOpenResult opened =
      system.files().CreateFileWide(path, platform::kGenericWrite, platform::kFileShareRead,
                                    platform::kOpenAlways, platform::kFileAttributeNormal);
  if (opened.handle == 0) return;
  const platform::Handle file = opened.handle;

  if (appendLog) {
    system.files().SetFilePointer(file, 0, platform::kFileEnd);
  } else {
    system.files().SetEndOfFile(file);
  }

  if (appendLog) {
    PieceWriter separator(system, file);
    separator.Put(std::u16string(kLogSeparatorDashes, u'-') + u"\r\n\r\n");
    separator.Flush();
  }

  const platform::LocalTime now = system.runtime().GetLocalTime();
  PieceWriter stamp(system, file);
  stamp.Put(text::Format(kLogStampFormat,
                         {now.day, now.month, now.year, now.hour, now.minute, now.second}));
  stamp.Flush();

  PieceWriter body(system, file);
  for (std::size_t i = 0; i < viewText.size(); ++i) {
    const char16_t c = viewText[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < viewText.size() && viewText[i + 1] == u'\n') ++i;
      body.Put(u'\r');
      body.Put(u'\n');
    } else {
      body.Put(c);
    }
  }
  body.Flush();

  system.runtime().CloseHandle(file);
}

}  // namespace app
