// Everything that the scanners, the removal code and the handlers show to the
// user goes through the scan observer: lines of output, the one-line status
// text and findings. The main window implements it; the log file is written
// from the same output text.
//
// Texts are appended as they are: a caller that wants a line break writes CR
// LF itself, and a progress line is a text ending in "..." followed, in a
// second call, by "done\r\n" or "failed\r\n".
//
// Called on the scan worker thread, except ScanFinished for a stopped scan,
// which the window's thread calls.
#pragma once

#include <optional>
#include <string_view>

#include "common/codes.h"

namespace scan {

class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  // Sets the one-line status text (as SetStatusText).
  virtual void SetProgressText(std::u16string_view text) = 0;
  // Appends the heading in the highlight format (bold red), then the text,
  // when there is one, in the plain format.
  virtual void ReportFinding(std::u16string_view heading,
                             std::optional<std::u16string_view> text) = 0;
  // Appends the text as it is, in the plain format.
  virtual void AppendText(std::u16string_view text) = 0;
  // Replaces the one-line status text; an empty text clears it.
  virtual void SetStatusText(std::u16string_view text) = 0;
  // Ends a scan with its result: result line, report, then the exit path or
  // the idle state.
  virtual void ScanFinished(codes::ScanResult result) = 0;
};

}  // namespace scan
