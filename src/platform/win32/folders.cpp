// The Win32 folders: system, Windows and temporary folders, and the shell
// and kernel functions bound for them.
#include "platform/win32/areas.h"
#include "platform/win32/binding.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

// Runs `call(buffer, size)` of a function that answers the length of the
// text it wrote, or the size it needs (terminating NUL included) when the
// buffer is too small, or 0 on failure; gives the whole text.
template <typename Call>
std::optional<std::u16string> QueryPath(Call call) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) return FromWide(buffer.c_str(), n);
    buffer.assign(n + 1, L'\0');
  }
  return std::nullopt;
}

class Win32Folders final : public Folders {
 public:
  std::optional<std::u16string> SystemDirectory() override {
    return QueryPath(
        [](wchar_t* buffer, UINT size) { return api::GetSystemDirectoryW(buffer, size); });
  }

  std::optional<std::u16string> WindowsDirectory() override {
    return QueryPath(
        [](wchar_t* buffer, UINT size) { return api::GetWindowsDirectoryW(buffer, size); });
  }

  std::optional<std::u16string> TempPath() override {
    return QueryPath([](wchar_t* buffer, UINT size) { return api::GetTempPathW(size, buffer); });
  }

  SpecialFolderPathFunction BindSpecialFolderPath(Handle library) override {
    using Function = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    const auto function = BindFunction<Function>(library, "SHGetSpecialFolderPathW");
    if (function == nullptr) return {};
    return [function](WindowId owner, int csidl, bool create) -> std::optional<std::u16string> {
      // The function demands a buffer of MAX_PATH characters.
      wchar_t path[MAX_PATH + 1] = {};
      if (!function(FromHandle<HWND__>(owner), path, csidl, create ? TRUE : FALSE)) {
        return std::nullopt;
      }
      return FromWide(path);
    };
  }

  LongPathNameFunction BindLongPathName(Handle library) override {
    using Function = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
    const auto function = BindFunction<Function>(library, "GetLongPathNameW");
    if (function == nullptr) return {};
    return [function](std::u16string_view path) -> std::optional<std::u16string> {
      const std::u16string shortPath(path);
      return QueryPath([&](wchar_t* buffer, UINT size) {
        return static_cast<UINT>(function(Wide(shortPath), buffer, size));
      });
    };
  }
};

}  // namespace

std::unique_ptr<Folders> MakeFolders() { return std::make_unique<Win32Folders>(); }

}  // namespace platform::win32
