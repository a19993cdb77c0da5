// What the user sees of the program: message boxes and modal dialogs (the
// dialog framework is in platform/dialog.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace platform {

class DialogHandler;

// Message box types and answers, with their Windows values.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The caption argument of ShowMessageBox that stands for none.
inline constexpr std::u16string_view kNoCaption{};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // MessageBoxW; answers the button pressed (kIdOk, kIdYes, ...). A caption
  // without data (kNoCaption) is passed as none, and the system shows its
  // default caption; an empty caption u"" shows an empty title.
  virtual int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                             std::uint32_t type) = 0;

  // DialogBoxParamW with the dialog template `templateId` of the program's
  // module: runs the dialog modally, feeding its events to `handler`, and
  // answers the code given to DialogView::EndModal (-1 when the dialog could
  // not be created).
  virtual int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) = 0;
};

}  // namespace platform
