// The helpers of the text binding for text in messages and resources, on
// both families: the string table read directly, window texts, the status
// bar and rich edit controls.
#include <algorithm>
#include <span>

#include "platform/resource_formats.h"
#include "platform/win32/binding.h"
#include "platform/win32/text_functions.h"
// After <windows.h>, which it needs.
#include <commctrl.h>

namespace platform::win32::api {

std::optional<std::wstring_view> FindStringInTable(HINSTANCE instance, UINT id) {
  HRSRC info = api::FindResourceW(instance, MAKEINTRESOURCEW(StringBlockOf(id)),
                                  MAKEINTRESOURCEW(kStringTableResourceType));
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(instance, info);
  const auto* at = static_cast<const BYTE*>(loaded == nullptr ? nullptr : ::LockResource(loaded));
  if (at == nullptr) return std::nullopt;
  const auto place = FindStringInBlock(std::span(at, ::SizeofResource(instance, info)), id);
  if (!place) return std::nullopt;
  return std::wstring_view(reinterpret_cast<const WCHAR*>(at + place->offset), place->length);
}

std::optional<std::string> ToAnsiExact(std::wstring_view text) { return narrow::ToAnsi(text); }

std::optional<std::u16string> LoadStringText(HINSTANCE instance, UINT id) {
  const auto text = FindStringInTable(instance, id);
  if (!text || text->empty()) return std::nullopt;
  return FromWide(text->data(), text->size());
}

std::u16string WindowText(HWND window) {
  if (Narrow()) {
    const std::wstring text = narrow::WindowText(window);
    return FromWide(text.data(), text.size());
  }
  const int length = api::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = api::GetWindowTextW(window, buffer.data(), length + 1);
  return FromWide(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

BOOL SetStatusBarText(HWND statusBar, int part, UINT type, LPCWSTR text) {
  const auto partAndType = static_cast<WPARAM>(static_cast<UINT>(part) | type);
  if (!Narrow()) {
    return api::SendMessageW(statusBar, SB_SETTEXTW, partAndType, reinterpret_cast<LPARAM>(text)) !=
           0;
  }
  return narrow::SendText(statusBar, SB_SETTEXTA, partAndType, reinterpret_cast<LPARAM>(text)) != 0;
}

namespace {

// IsWindowUnicode, bound by name: it is not in every system's documented
// set of exports, and a missing import would keep the program from loading.
// A system without it has no wide windows.
using IsWindowUnicodeProc = BOOL(WINAPI*)(HWND);

BOOL WindowIsUnicode(HWND window) {
  static const IsWindowUnicodeProc isWindowUnicode =
      BindFunction<IsWindowUnicodeProc>(::GetModuleHandleA("USER32.DLL"), "IsWindowUnicode");
  return isWindowUnicode != nullptr && isWindowUnicode(window);
}

}  // namespace

BOOL ReplaceRichEditSelection(HWND richEdit, LPCWSTR text, BOOL canUndo) {
  if (text == nullptr) text = L"";
  SETTEXTEX setText{};
  setText.flags = ST_SELECTION | (canUndo ? ST_KEEPUNDO : 0);
  setText.codepage = 1200;
  // The code page, not the window, says what the text is: the same message
  // serves narrow and wide windows.
  const auto wParam = reinterpret_cast<WPARAM>(&setText);
  const auto lParam = reinterpret_cast<LPARAM>(text);
  const LRESULT copied = Narrow() ? ::SendMessageA(richEdit, EM_SETTEXTEX, wParam, lParam)
                                  : api::SendMessageW(richEdit, EM_SETTEXTEX, wParam, lParam);
  if (copied != 0 || *text == L'\0') return TRUE;
  // Rich edit 2.0 does not know EM_SETTEXTEX and answers 0.
  if (!Narrow()) {
    api::SendMessageW(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    return TRUE;
  }
  // The narrow function passes the text unchanged to a control of the wide
  // class on Windows 95/98/ME, which reads it as UTF-16; only where the
  // system converts messages for wide windows (IsWindowUnicode) does it take
  // ANSI text, as the narrow class does.
  if (narrow::ClassNameStartsWith(richEdit, "RichEdit20W") && !WindowIsUnicode(richEdit)) {
    ::SendMessageA(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    return TRUE;
  }
  const narrow::NarrowText ansi(text);
  if (!ansi.ok()) return narrow::NoTranslation<BOOL>(FALSE);
  ::SendMessageA(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(ansi.get()));
  return TRUE;
}

int RichEditTextLength(HWND richEdit) {
  GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  return static_cast<int>(
      api::SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

std::u16string RichEditText(HWND richEdit) {
  const int length = RichEditTextLength(richEdit);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  query.flags = GT_DEFAULT;
  query.codepage = 1200;
  const LRESULT n = api::SendMessageW(richEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  return FromWide(buffer.c_str(), static_cast<std::size_t>(std::clamp<LRESULT>(n, 0, length)));
}

BOOL SetRichEditCharFormat(HWND richEdit, WPARAM scope, const CHARFORMAT2W& format) {
  CHARFORMAT2W copy = format;
  copy.cbSize = sizeof copy;
  if (!Narrow()) {
    return api::SendMessageW(richEdit, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&copy)) !=
           0;
  }
  return narrow::SendCharFormat(richEdit, scope, reinterpret_cast<LPARAM>(&copy)) != 0;
}

}  // namespace platform::win32::api
