// Modal dialogs from templates: a small framework over the Win32 dialog
// functions. A DialogHandler receives the dialog's events; a DialogView is
// handed to it and acts on the running dialog and its controls.
//
// Every call happens on the thread that runs the dialog, except where an
// operation says otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

namespace platform {

// COLORREF: 0x00BBGGRR.
constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
         (static_cast<std::uint32_t>(b) << 16);
}

// The character format of a rich edit insertion point (CHARFORMAT2W with
// CFM_BOLD and CFM_COLOR).
struct CharFormat {
  bool bold = false;
  std::uint32_t colour = 0;
  // The system's window text colour in place of `colour` (CFE_AUTOCOLOR), as
  // in a rich edit's default format.
  bool autoColour = false;
  bool operator==(const CharFormat&) const = default;
};

// One pane of a status bar: its id and its right edge in client pixels, or -1
// for a pane that stretches to the right end.
struct StatusPane {
  int id = 0;
  int rightEdge = -1;
};

struct Size {
  int width = 0;
  int height = 0;
};

// Rich edit event mask bit for mouse events (ENM_MOUSEEVENTS).
inline constexpr std::uint32_t kEnmMouseEvents = 0x00020000;
// The most characters a rich edit holds until EM_EXLIMITTEXT raises it.
inline constexpr std::uint32_t kRichEditDefaultTextLimit = 32767;
// The first message number free for the program's own use (WM_USER).
inline constexpr std::uint32_t kWmUser = 0x0400;
// Control id for a control without an id of its own (IDC_STATIC).
inline constexpr int kNoControlId = 0xFFFF;
// The system's error icon (IDI_HAND), for CreateIconControl.
inline constexpr std::uint32_t kIdiHand = 32513;

class DialogView {
 public:
  virtual ~DialogView() = default;

  // The dialog's window handle.
  virtual WindowId Window() const = 0;
  // Whether the dialog has a control with id `id` (GetDlgItem).
  virtual bool HasControl(int id) = 0;

  virtual void SetTitle(std::u16string_view title) = 0;
  virtual void SetControlText(int id, std::u16string_view text) = 0;
  virtual std::u16string ControlText(int id) = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual bool IsControlEnabled(int id) = 0;
  // Moves the keyboard focus to control `id` (WM_NEXTDLGCTL).
  virtual void FocusControl(int id) = 0;
  // ShowWindow with SW_SHOWNORMAL or SW_HIDE.
  virtual void Show(bool visible) = 0;
  // Sets the icon resource `iconId` as the big and small window icon; the
  // dialog also draws it centred when minimised and uses it as drag icon.
  virtual void SetIcon(std::uint32_t iconId) = 0;
  virtual Size ClientSize() = 0;

  // Creates a status bar at the bottom with the given panes, all empty.
  virtual void CreateStatusBar(std::span<const StatusPane> panes) = 0;
  virtual void SetStatusPaneText(int pane, std::u16string_view text) = 0;

  // Creates a visible static control with id `id` showing the system icon
  // `systemIcon` (an IDI_ value) centred in the rectangle, in pixels.
  virtual void CreateIconControl(int id, int left, int top, int right, int bottom,
                                 std::uint32_t systemIcon) = 0;
  // Sets the font of control `id` to `face` at `tenthsOfPoint` / 10 points,
  // redrawing it at once.
  virtual void SetControlFont(int id, std::u16string_view face, int tenthsOfPoint) = 0;

  // SetTimer: the handler's OnTimer(id) is called every `periodMs`.
  virtual void StartTimer(std::uint32_t id, std::uint32_t periodMs) = 0;
  virtual void StopTimer(std::uint32_t id) = 0;

  // PostMessageW to the dialog: the handler's OnMessage receives it later on
  // the dialog's thread. May be called from any thread.
  virtual bool Post(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) = 0;

  // EndDialog: the modal run ends with `code` once the current event is done.
  virtual void EndModal(int code) = 0;

  // Rich edit operations on control `id`. Text positions count characters;
  // the control keeps every line break as a single CR.
  virtual void AddEventMask(int id, std::uint32_t mask) = 0;
  // EM_EXLIMITTEXT: the control holds at most `limit` characters (0 stands
  // for 65,536); what an insertion would add beyond them is cut off.
  virtual void SetTextLimit(int id, std::uint32_t limit) = 0;
  virtual int TextLength(int id) = 0;
  virtual void SetSelection(int id, int start, int end) = 0;
  virtual void SetSelectionFormat(int id, const CharFormat& format) = 0;
  virtual void ReplaceSelection(int id, std::u16string_view text) = 0;
  virtual std::u16string RichText(int id) = 0;
};

class DialogHandler {
 public:
  virtual ~DialogHandler() = default;

  // WM_INITDIALOG. Answer true to let the system set the focus, false when
  // the handler has set it.
  virtual bool OnInitDialog(DialogView& view) = 0;
  // WM_COMMAND from a control, from Enter (kIdOk) and from Escape or the
  // close box (kIdCancel). Nothing happens unless the handler acts.
  virtual void OnCommand(int /*controlId*/, int /*notifyCode*/) {}
  // WM_TIMER.
  virtual void OnTimer(std::uint32_t /*timerId*/) {}
  // Messages from kWmUser on, as posted with DialogView::Post. Answer true
  // when the message was the handler's; other messages go on to the dialog
  // manager (which uses some of these numbers itself).
  virtual bool OnMessage(std::uint32_t /*message*/, std::uint64_t /*wParam*/,
                         std::int64_t /*lParam*/) {
    return false;
  }
  // EN_MSGFILTER from a rich edit: answer true to drop the message.
  virtual bool OnMessageFilter(int /*controlId*/) { return false; }
  // The text colour of a static control while it is painted, or nothing for
  // the default.
  virtual std::optional<std::uint32_t> ControlTextColour(int /*controlId*/) { return std::nullopt; }
};

}  // namespace platform
