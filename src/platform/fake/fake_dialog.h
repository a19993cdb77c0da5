// A dialog of the fake platform: the controls of a template held in memory,
// with everything the program did to them.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace platform::fake {

enum class ControlKind { kButton, kStatic, kGroupBox, kRichEdit, kBitmap, kIcon };

// A control's rectangle in client pixels.
struct FakeRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const FakeRect&) const = default;
};

struct FakeControl {
  ControlKind kind = ControlKind::kStatic;
  std::u16string text;
  bool enabled = true;
  // Rich edit state: the format of every character of `text`, the
  // selection, the insertion-point format, the event mask and the text
  // limit. A rich edit holds 32,767 characters until EM_EXLIMITTEXT raises
  // the limit ("Before EM_EXLIMITTEXT is called, the default limit to the
  // amount of text a user can enter is 32,767 characters", EM_EXLIMITTEXT
  // in the Windows SDK's rich edit reference), and it takes the program's
  // EM_REPLACESEL as it takes typed text: what would go beyond the limit is
  // cut off. Wine's rich edit instead raises its limit to fit whatever the
  // program inserts, so only this model shows the rule.
  std::vector<CharFormat> formats;
  int selectionStart = 0;
  int selectionEnd = 0;
  CharFormat insertionFormat{false, 0, true};  // the rich edit's default format
  std::uint32_t eventMask = 0;
  std::uint32_t textLimit = kRichEditDefaultTextLimit;
  // Set by SetControlFont.
  std::u16string fontFace;
  int fontTenthsOfPoint = 0;
  // Set by CreateIconControl.
  std::uint32_t systemIcon = 0;
  FakeRect rectangle;
};

// The controls of a dialog template, by id, as the program's resources
// define them. Templates the fake does not know have no controls.
std::map<int, FakeControl> TemplateControls(std::uint32_t templateId);

class FakeDialog final : public DialogView {
 public:
  FakeDialog(std::uint32_t dialogTemplate, WindowId window, WindowId ownerWindow,
             DialogHandler& handler);

  // --- What a test reads. ---
  std::uint32_t templateId;
  WindowId owner;
  std::u16string title;
  bool visible = false;
  std::uint32_t icon = 0;
  Size clientSize{670, 385};  // template 102 in pixels at 96 dpi
  std::vector<StatusPane> statusPanes;
  std::map<int, std::u16string> statusTexts;
  std::map<std::uint32_t, std::uint32_t> timers;  // id -> period
  int focus = 0;
  std::optional<int> endCode;
  std::map<int, FakeControl> controls;
  // Messages posted to the dialog and not yet delivered.
  struct Posted {
    std::uint32_t message;
    std::uint64_t wParam;
    std::int64_t lParam;
  };
  // Guarded by postedLock: other threads post.
  std::vector<Posted> posted;
  std::mutex postedLock;

  // --- What a test does, as the user or the system would. ---
  // A click on a button: nothing happens when the button is disabled.
  void Click(int id);
  // Escape or the close box.
  void Close() { handler_.OnCommand(kIdCancel, 0); }
  void Tick(std::uint32_t timerId) { handler_.OnTimer(timerId); }
  // Delivers the posted messages in order.
  void DeliverPosted();
  // A mouse message reaches the rich edit `id`: answers whether it was dropped.
  bool MouseOnView(int id) { return handler_.OnMessageFilter(id); }
  // Called by ReplaceSelection before it changes the text, with the control
  // id: lets a test act while the program inserts text.
  std::function<void(int)> duringInsertion;
  DialogHandler& handler() { return handler_; }

  // DialogView.
  WindowId Window() const override { return window_; }
  bool HasControl(int id) override { return controls.count(id) != 0; }
  void SetTitle(std::u16string_view text) override { title = text; }
  void SetControlText(int id, std::u16string_view text) override;
  std::u16string ControlText(int id) override;
  void EnableControl(int id, bool enabled) override;
  bool IsControlEnabled(int id) override;
  void FocusControl(int id) override;
  void Show(bool show) override { visible = show; }
  void SetIcon(std::uint32_t iconId) override { icon = iconId; }
  Size ClientSize() override { return clientSize; }
  void CreateStatusBar(std::span<const StatusPane> panes) override;
  void SetStatusPaneText(int pane, std::u16string_view text) override;
  void CreateIconControl(int id, int left, int top, int right, int bottom,
                         std::uint32_t systemIcon) override;
  void SetControlFont(int id, std::u16string_view face, int tenthsOfPoint) override;
  void StartTimer(std::uint32_t id, std::uint32_t periodMs) override { timers[id] = periodMs; }
  void StopTimer(std::uint32_t id) override { timers.erase(id); }
  bool Post(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override;
  void EndModal(int code) override {
    if (!endCode) endCode = code;
  }
  void AddEventMask(int id, std::uint32_t mask) override;
  void SetTextLimit(int id, std::uint32_t limit) override;
  int TextLength(int id) override;
  void SetSelection(int id, int start, int end) override;
  void SetSelectionFormat(int id, const CharFormat& format) override;
  void ReplaceSelection(int id, std::u16string_view text) override;
  std::u16string RichText(int id) override;

 private:
  FakeControl& Control(int id);

  WindowId window_;
  DialogHandler& handler_;
};

}  // namespace platform::fake
