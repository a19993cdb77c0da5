// Text in the ANSI code page (CP_ACP) for the narrow adapters of the text
// binding: exact conversions only, so that a name never turns into another.
#include <climits>

#include "platform/win32/text_functions.h"

namespace platform::win32::api::narrow {

std::wstring FromAnsi(const char* text, std::size_t length) {
  if (length == 0 || length > INT_MAX) return {};
  const int n = static_cast<int>(length);
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, n, out.data(), size);
  return out;
}

std::optional<std::string> ToAnsi(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX / 4) return std::nullopt;
  const int n = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int size =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_ACP, 0, text.data(), n, out.data(), size, nullptr, nullptr) !=
      size) {
    return std::nullopt;
  }
  if (FromAnsi(out.data(), out.size()) != text) return std::nullopt;
  return out;
}

NarrowText::NarrowText(LPCWSTR wide, bool numbers) {
  if (wide == nullptr) return;
  if (numbers && IS_INTRESOURCE(wide)) {
    number_ = reinterpret_cast<LPCSTR>(wide);
    return;
  }
  auto ansi = ToAnsi(std::wstring_view(wide));
  if (!ansi) {
    ok_ = false;
    return;
  }
  text_ = std::move(*ansi);
  isText_ = true;
}

}  // namespace platform::win32::api::narrow
