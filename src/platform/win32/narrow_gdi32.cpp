// The narrow adapter of GDI32's wide function.
#include "platform/win32/text_functions.h"

namespace platform::win32::api::narrow {

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCWSTR faceName) {
  const NarrowText n(faceName);
  if (!n.ok()) return NoTranslation<HFONT>(nullptr);
  return ::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                       charSet, outPrecision, clipPrecision, quality, pitchAndFamily, n.get());
}

}  // namespace platform::win32::api::narrow
