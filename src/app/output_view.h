// The main window's output view, the rich edit 1003, as the program writes to
// it: every insertion goes where the selection is (normally the caret after
// the last character), in a character format, and leaves the insertion point
// in the plain format.
//
// The view keeps every line break as a single CR. A view whose control is
// missing takes nothing and holds no text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "resource_ids.h"

namespace app {

// The formats of the output view. Plain: not bold, black (with the automatic
// colour switched off); the highlight of finding headings: bold red; the
// view's default format: not bold, in the system's text colour.
inline constexpr platform::CharFormat kPlainFormat{false, platform::Rgb(0, 0, 0), false};
inline constexpr platform::CharFormat kHighlightFormat{true, platform::Rgb(255, 0, 0), false};
inline constexpr platform::CharFormat kDefaultFormat{false, 0, true};

// The output view's text limit, raised at the window's initialisation. The
// log file is the view's text, and a rich edit cuts off what goes beyond its
// limit (32,767 characters until raised): a heavily infected machine, or a
// run of several scans, writes more. (0 would mean only 64K.)
inline constexpr std::uint32_t kOutputTextLimit = 0x7FFFFFFE;

class OutputView {
 public:
  explicit OutputView(platform::DialogView& view, int controlId = QRT_IDC_OUTPUT);

  // Selects the whole text, so that the next insertion replaces it.
  void SelectAll();
  // Puts the caret after the last character.
  void MoveCaretToEnd();
  // Replaces the selection by `text` in `format`; the insertion point is in
  // the plain format afterwards.
  void Insert(std::u16string_view text, const platform::CharFormat& format);
  // MoveCaretToEnd, then Insert.
  void Append(std::u16string_view text, const platform::CharFormat& format);
  // The whole text.
  std::u16string Text();

 private:
  platform::DialogView& view_;
  int id_;
  bool present_;
};

}  // namespace app
