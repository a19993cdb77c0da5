// Runs a modal dialog from a template and connects it to a DialogHandler.
#pragma once

#include <cstdint>

#include "platform/dialog.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// DialogBoxParamW: answers the EndModal code, or -1 when the dialog could not
// be created.
int RunDialog(HINSTANCE module, std::uint32_t templateId, HWND owner, DialogHandler& handler);

}  // namespace platform::win32
