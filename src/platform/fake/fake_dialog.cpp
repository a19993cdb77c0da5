#include "platform/fake/fake_dialog.h"

#include <algorithm>
#include <stdexcept>

#include "resource_ids.h"

namespace platform::fake {

std::map<int, FakeControl> TemplateControls(std::uint32_t templateId) {
  std::map<int, FakeControl> controls;
  auto add = [&](int id, ControlKind kind, std::u16string text) {
    FakeControl control;
    control.kind = kind;
    control.text = std::move(text);
    controls[id] = control;
  };
  switch (templateId) {
    case QRT_IDD_MAIN:
      add(QRT_IDC_START, ControlKind::kButton, u"&Start scan");
      add(QRT_IDC_STOP, ControlKind::kButton, u"S&top scan");
      add(QRT_IDC_EXIT, ControlKind::kButton, u"E&xit");
      add(QRT_IDC_OUTPUT, ControlKind::kRichEdit, u"");
      add(QRT_IDC_SCAN_GROUP, ControlKind::kGroupBox, u"Scanning");
      add(QRT_IDC_STATUS, ControlKind::kStatic, u"");
      break;
    case QRT_IDD_NO_ADMIN_RIGHTS:
      add(kIdOk, ControlKind::kButton, u"OK");
      add(QRT_IDC_NO_ADMIN_TEXT, ControlKind::kStatic, u"");
      break;
    default:
      break;
  }
  return controls;
}

FakeDialog::FakeDialog(std::uint32_t dialogTemplate, WindowId window, WindowId ownerWindow,
                       DialogHandler& handler)
    : templateId(dialogTemplate),
      owner(ownerWindow),
      controls(TemplateControls(dialogTemplate)),
      window_(window),
      handler_(handler) {}

FakeControl& FakeDialog::Control(int id) {
  const auto it = controls.find(id);
  // The real system ignores calls on a missing control; a test that makes
  // them has a fault to show.
  if (it == controls.end()) throw std::logic_error("no control " + std::to_string(id));
  return it->second;
}

void FakeDialog::Click(int id) {
  if (!Control(id).enabled) return;
  handler_.OnCommand(id, 0);
}

void FakeDialog::DeliverPosted() {
  for (;;) {
    Posted message{};
    {
      std::lock_guard<std::mutex> lock(postedLock);
      if (posted.empty()) return;
      message = posted.front();
      posted.erase(posted.begin());
    }
    handler_.OnMessage(message.message, message.wParam, message.lParam);
  }
}

void FakeDialog::SetControlText(int id, std::u16string_view text) { Control(id).text = text; }
std::u16string FakeDialog::ControlText(int id) { return Control(id).text; }
void FakeDialog::EnableControl(int id, bool enabled) { Control(id).enabled = enabled; }
bool FakeDialog::IsControlEnabled(int id) { return HasControl(id) && Control(id).enabled; }
void FakeDialog::FocusControl(int id) {
  if (HasControl(id)) focus = id;
}

void FakeDialog::CreateStatusBar(std::span<const StatusPane> panes) {
  statusPanes.assign(panes.begin(), panes.end());
  statusTexts.clear();
  for (std::size_t i = 0; i < panes.size(); ++i) statusTexts[static_cast<int>(i)] = u"";
}

void FakeDialog::SetStatusPaneText(int pane, std::u16string_view text) {
  if (pane >= 0 && static_cast<std::size_t>(pane) < statusPanes.size()) statusTexts[pane] = text;
}

void FakeDialog::CreateIconControl(int id, int left, int top, int right, int bottom,
                                   std::uint32_t systemIcon) {
  FakeControl control;
  control.kind = ControlKind::kIcon;
  control.systemIcon = systemIcon;
  control.rectangle = FakeRect{left, top, right, bottom};
  controls[id] = control;
}

void FakeDialog::SetControlFont(int id, std::u16string_view face, int tenthsOfPoint) {
  FakeControl& control = Control(id);
  control.fontFace = face;
  control.fontTenthsOfPoint = tenthsOfPoint;
}

bool FakeDialog::Post(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
  std::lock_guard<std::mutex> lock(postedLock);
  posted.push_back(Posted{message, wParam, lParam});
  return true;
}

void FakeDialog::AddEventMask(int id, std::uint32_t mask) { Control(id).eventMask |= mask; }

void FakeDialog::SetTextLimit(int id, std::uint32_t limit) {
  // EM_EXLIMITTEXT with 0 sets the limit to 64K characters.
  Control(id).textLimit = limit == 0 ? 65536 : limit;
}

int FakeDialog::TextLength(int id) { return static_cast<int>(Control(id).text.size()); }

void FakeDialog::SetSelection(int id, int start, int end) {
  FakeControl& control = Control(id);
  const int length = static_cast<int>(control.text.size());
  // As the rich edit does: -1 as the end selects to the end; positions past
  // the end stand at the end.
  if (end < 0 || end > length) end = length;
  start = std::clamp(start, 0, length);
  control.selectionStart = std::min(start, end);
  control.selectionEnd = std::max(start, end);
}

void FakeDialog::SetSelectionFormat(int id, const CharFormat& format) {
  FakeControl& control = Control(id);
  control.insertionFormat = format;
  for (int i = control.selectionStart; i < control.selectionEnd; ++i) {
    control.formats[static_cast<std::size_t>(i)] = format;
  }
}

void FakeDialog::ReplaceSelection(int id, std::u16string_view text) {
  FakeControl& control = Control(id);
  if (duringInsertion) duringInsertion(id);
  // The rich edit keeps each line break (CR LF, CR or LF) as one CR.
  std::u16string stored;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    stored.push_back(text[i] == u'\n' ? u'\r' : text[i]);
  }
  const auto start = static_cast<std::size_t>(control.selectionStart);
  const auto count = static_cast<std::size_t>(control.selectionEnd - control.selectionStart);
  // What goes beyond the text limit is cut off (see FakeControl).
  const std::size_t kept = control.text.size() - count;
  const std::size_t room = control.textLimit > kept ? control.textLimit - kept : 0;
  if (stored.size() > room) stored.resize(room);
  control.text.replace(start, count, stored);
  control.formats.erase(control.formats.begin() + static_cast<std::ptrdiff_t>(start),
                        control.formats.begin() + static_cast<std::ptrdiff_t>(start + count));
  control.formats.insert(control.formats.begin() + static_cast<std::ptrdiff_t>(start),
                         stored.size(), control.insertionFormat);
  control.selectionStart = control.selectionEnd = static_cast<int>(start + stored.size());
}

std::u16string FakeDialog::RichText(int id) { return Control(id).text; }

}  // namespace platform::fake
