#include "app/output_view.h"

namespace app {

OutputView::OutputView(platform::DialogView& view, int controlId)
    : view_(view), id_(controlId), present_(view.HasControl(controlId)) {}

void OutputView::SelectAll() {
  if (present_) view_.SetSelection(id_, 0, -1);
}

void OutputView::MoveCaretToEnd() {
  if (!present_) return;
  const int length = view_.TextLength(id_);
  view_.SetSelection(id_, length, length);
}

void OutputView::Insert(std::u16string_view text, const platform::CharFormat& format) {
  if (!present_) return;
  view_.SetSelectionFormat(id_, format);
  view_.ReplaceSelection(id_, text);
  view_.SetSelectionFormat(id_, kPlainFormat);
}

void OutputView::Append(std::u16string_view text, const platform::CharFormat& format) {
  MoveCaretToEnd();
  Insert(text, format);
}

std::u16string OutputView::Text() { return present_ ? view_.RichText(id_) : std::u16string(); }

}  // namespace app
