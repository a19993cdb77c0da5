// The narrow adapters of USER32's wide functions: the string table, windows,
// dialogs and messages. Of the messages that carry text, SendMessageW
// converts WM_SETTEXT, SB_SETTEXTW (sent as SB_SETTEXTA) and EM_REPLACESEL,
// and EM_SETCHARFORMAT with CHARFORMATW or CHARFORMAT2W.
#include <algorithm>
#include <cstring>

#include "platform/win32/text_functions.h"
// After <windows.h>, which it needs.
#include <commctrl.h>

namespace platform::win32::api::narrow {
namespace {

// The answer of GetWindowText and its kind: as much as fits before a
// terminating zero, and its length.
int CopyTruncated(std::wstring_view text, LPWSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(bufferMax - 1));
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = L'\0';
  return static_cast<int>(n);
}

// The face name of a character format in the ANSI code page; false when it
// has no exact form or no room.
template <std::size_t N>
bool NarrowFaceName(const WCHAR (&wide)[N], char (&narrow)[N]) {
  std::size_t length = 0;
  while (length < N && wide[length] != L'\0') ++length;
  const auto ansi = ToAnsi(std::wstring_view(wide, length));
  if (!ansi || ansi->size() >= N) return false;
  std::memcpy(narrow, ansi->c_str(), ansi->size() + 1);
  return true;
}

template <typename NarrowFormat, typename WideFormat>
bool NarrowCharFormat(const WideFormat& wide, NarrowFormat& narrow) {
  narrow.cbSize = sizeof narrow;
  narrow.dwMask = wide.dwMask;
  narrow.dwEffects = wide.dwEffects;
  narrow.yHeight = wide.yHeight;
  narrow.yOffset = wide.yOffset;
  narrow.crTextColor = wide.crTextColor;
  narrow.bCharSet = wide.bCharSet;
  narrow.bPitchAndFamily = wide.bPitchAndFamily;
  return (wide.dwMask & CFM_FACE) == 0 || NarrowFaceName(wide.szFaceName, narrow.szFaceName);
}

bool NarrowCharFormat2(const CHARFORMAT2W& wide, CHARFORMAT2A& narrow) {
  if (!NarrowCharFormat(wide, narrow)) return false;
  narrow.wWeight = wide.wWeight;
  narrow.sSpacing = wide.sSpacing;
  narrow.crBackColor = wide.crBackColor;
  narrow.lcid = wide.lcid;
  narrow.dwReserved = wide.dwReserved;
  narrow.sStyle = wide.sStyle;
  narrow.wKerning = wide.wKerning;
  narrow.bUnderlineType = wide.bUnderlineType;
  narrow.bAnimation = wide.bAnimation;
  narrow.bRevAuthor = wide.bRevAuthor;
  return true;
}

}  // namespace

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(window, buffer.data(), length + 1);
  return FromAnsi(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

bool ClassNameStartsWith(HWND window, std::string_view prefix) {
  char name[64] = {};
  const int n = ::GetClassNameA(window, name, sizeof name);
  if (n < static_cast<int>(prefix.size())) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(name[i]) != lower(prefix[i])) return false;
  }
  return true;
}

LRESULT SendCharFormat(HWND window, WPARAM scope, LPARAM format) {
  const UINT size = format == 0 ? 0 : *reinterpret_cast<const UINT*>(format);
  if (size == sizeof(CHARFORMAT2W)) {
    CHARFORMAT2A narrow{};
    if (!NarrowCharFormat2(*reinterpret_cast<const CHARFORMAT2W*>(format), narrow)) {
      return NoTranslation<LRESULT>(0);
    }
    return ::SendMessageA(window, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&narrow));
  }
  if (size == sizeof(CHARFORMATW)) {
    CHARFORMATA narrow{};
    if (!NarrowCharFormat(*reinterpret_cast<const CHARFORMATW*>(format), narrow)) {
      return NoTranslation<LRESULT>(0);
    }
    return ::SendMessageA(window, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&narrow));
  }
  return ::SendMessageA(window, EM_SETCHARFORMAT, scope, format);
}

LRESULT SendText(HWND window, UINT message, WPARAM wParam, LPARAM text) {
  const NarrowText narrow(reinterpret_cast<LPCWSTR>(text));
  if (!narrow.ok()) return NoTranslation<LRESULT>(0);
  return ::SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(narrow.get()));
}

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
  if (buffer == nullptr) return 0;
  const auto text = FindStringInTable(instance, id);
  if (!text) return 0;
  if (bufferMax == 0) {
    // A read-only pointer to the text in the resource, not zero-terminated.
    *reinterpret_cast<const WCHAR**>(buffer) = text->data();
    return static_cast<int>(text->size());
  }
  if (bufferMax < 0) return 0;
  const int n = static_cast<int>(std::min(text->size(), static_cast<std::size_t>(bufferMax - 1)));
  if (n > 0) {
    std::copy_n(text->begin(), n, buffer);
    buffer[n] = L'\0';
  } else if (bufferMax > 1) {
    buffer[0] = L'\0';
  }
  return n;
}

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      return SendText(window, message, wParam, lParam);
    case EM_REPLACESEL:
      // A rich edit control of the wide class reads its text as UTF-16 even
      // from the narrow function on Windows 95/98/ME.
      if (ClassNameStartsWith(window, "RichEdit")) {
        ReplaceRichEditSelection(window, reinterpret_cast<LPCWSTR>(lParam),
                                 static_cast<BOOL>(wParam));
        return 0;
      }
      return SendText(window, message, wParam, lParam);
    case SB_SETTEXTW:
      // A number that other classes use for other messages.
      if (ClassNameStartsWith(window, STATUSCLASSNAMEA)) {
        return SendText(window, SB_SETTEXTA, wParam, lParam);
      }
      break;
    case EM_SETCHARFORMAT:
      if (ClassNameStartsWith(window, "RichEdit")) {
        return SendCharFormat(window, wParam, lParam);
      }
      break;
    default:
      break;
  }
  return ::SendMessageA(window, message, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(window, message, wParam, lParam);
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  return ::SetWindowLongPtrA(window, index, value);
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  return ::GetWindowLongPtrA(window, index);
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR iconName) {
  const NarrowText n(iconName, true);
  if (!n.ok()) return NoTranslation<HICON>(nullptr);
  return ::LoadIconA(instance, n.get());
}

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  const NarrowText n(name, true);
  if (!n.ok()) return NoTranslation<HANDLE>(nullptr);
  return ::LoadImageA(instance, n.get(), type, cx, cy, flags);
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  const NarrowText windowClass(className, true);
  const NarrowText name(windowName);
  if (!windowClass.ok() || !name.ok()) return NoTranslation<HWND>(nullptr);
  return ::CreateWindowExA(exStyle, windowClass.get(), name.get(), style, x, y, width, height,
                           parent, menu, instance, param);
}

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  const NarrowText n(text);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetWindowTextA(window, n.get());
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  const NarrowText n(text);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetDlgItemTextA(dialog, id, n.get());
}

int WINAPI GetWindowTextW(HWND window, LPWSTR buffer, int bufferMax) {
  return CopyTruncated(WindowText(window), buffer, bufferMax);
}

int WINAPI GetWindowTextLengthW(HWND window) {
  // The narrow length counts bytes, two for a double-byte character.
  return static_cast<int>(WindowText(window).size());
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
  const NarrowText n(templateName, true);
  if (!n.ok()) return NoTranslation<INT_PTR>(-1);
  return ::DialogBoxParamA(instance, n.get(), owner, dialogProc, initParam);
}

}  // namespace platform::win32::api::narrow
