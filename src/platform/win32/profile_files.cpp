// The Win32 profile files: sections and keys of initialisation files through
// the system's profile functions.
#include <algorithm>
#include <vector>

#include "platform/win32/areas.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

// The zero-ended strings of the first `length` characters of `buffer`; a
// last string without its zero (cut by a small buffer) counts too.
std::vector<std::u16string> SplitList(const std::wstring& buffer, DWORD length) {
  std::vector<std::u16string> strings;
  std::size_t start = 0;
  const std::size_t end = std::min<std::size_t>(length, buffer.size());
  for (std::size_t i = 0; i <= end; ++i) {
    if (i == end || buffer[i] == L'\0') {
      if (i > start) strings.push_back(FromWide(buffer.data() + start, i - start));
      start = i + 1;
    }
  }
  return strings;
}

class Win32ProfileFiles final : public ProfileFiles {
 public:
  std::vector<std::u16string> GetPrivateProfileSectionNamesWide(std::uint32_t bufferChars,
                                                                std::u16string_view path) override {
    const std::u16string p(path);
    std::wstring buffer(bufferChars, L'\0');
    const DWORD n = api::GetPrivateProfileSectionNamesW(buffer.data(), bufferChars, Wide(p));
    return SplitList(buffer, n);
  }

  std::vector<std::u16string> GetPrivateProfileSectionWide(std::u16string_view section,
                                                           std::uint32_t bufferChars,
                                                           std::u16string_view path) override {
    const std::u16string s(section);
    const std::u16string p(path);
    std::wstring buffer(bufferChars, L'\0');
    const DWORD n = api::GetPrivateProfileSectionW(Wide(s), buffer.data(), bufferChars, Wide(p));
    return SplitList(buffer, n);
  }

  bool WritePrivateProfileStringWide(std::u16string_view section, std::u16string_view key,
                                     std::u16string_view value, std::u16string_view path) override {
    const std::u16string s(section);
    const std::u16string k(key);
    const std::u16string v(value);
    const std::u16string p(path);
    return api::WritePrivateProfileStringW(Wide(s), Wide(k), Wide(v), Wide(p)) != FALSE;
  }

  void FlushProfileCache(std::u16string_view path) override {
    const std::u16string p(path);
    api::WritePrivateProfileStringW(nullptr, nullptr, nullptr, Wide(p));
  }
};

}  // namespace

std::unique_ptr<ProfileFiles> MakeProfileFiles() { return std::make_unique<Win32ProfileFiles>(); }

}  // namespace platform::win32
