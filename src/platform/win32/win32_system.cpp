#include "platform/win32/win32_system.h"

#include "platform/win32/dialog_host.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {
namespace {

class Win32System final : public System {
 public:
  explicit Win32System(HINSTANCE module) : module_(module) {}

  std::optional<OsVersion> QueryVersion() override {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExW(&info)) return std::nullopt;
    return OsVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                     info.dwBuildNumber, FromWide(info.szCSDVersion)};
  }

  std::u16string ModuleFileName() override {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(module_, path, MAX_PATH);
    return FromWide(path, n > MAX_PATH ? MAX_PATH : n);
  }

  std::optional<std::u16string> LoadStringResource(std::uint32_t id) override {
    // With a zero buffer size LoadStringW answers a read-only pointer to the
    // resource text, which is not zero-terminated, and its length.
    const wchar_t* text = nullptr;
    const int n = ::LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n <= 0 || text == nullptr) return std::nullopt;
    return FromWide(text, static_cast<std::size_t>(n));
  }

  std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                            std::u16string_view name) override {
    const std::u16string typeText(type);
    const std::u16string nameText(name);
    HRSRC info = ::FindResourceW(module_, Wide(nameText), Wide(typeText));
    if (info == nullptr) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module_, info);
    if (loaded == nullptr) return std::nullopt;
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (data == nullptr) return std::nullopt;
    return std::vector<std::uint8_t>(data, data + ::SizeofResource(module_, info));
  }

  int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                     std::uint32_t type) override {
    const std::u16string t(text);
    const std::u16string c(caption);
    return ::MessageBoxW(FromHandle<HWND__>(owner), Wide(t), Wide(c), type);
  }

  MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) override {
    const std::u16string n(name);
    HANDLE h = ::CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, Wide(n));
    const DWORD error = ::GetLastError();
    return MutexResult{ToHandle(h), error};
  }

  [[noreturn]] void ExitProcess(int status) override { ::ExitProcess(static_cast<UINT>(status)); }

  Handle LoadLibraryAnsi(std::string_view name) override {
    const std::string n(name);
    return ToHandle(::LoadLibraryA(n.c_str()));
  }

  Handle LoadLibraryWide(std::u16string_view name) override {
    const std::u16string n(name);
    return ToHandle(::LoadLibraryW(Wide(n)));
  }

  void FreeLibraryHandle(Handle library) override {
    if (library != 0) ::FreeLibrary(FromHandle<HINSTANCE__>(library));
  }

  LocalTime GetLocalTime() override {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                     t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
  }

  std::uint32_t GetTickCount() override { return ::GetTickCount(); }

  std::optional<std::string> WideToAnsi(std::u16string_view wide) override {
    if (wide.empty()) return std::string();
    const auto* src = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_ACP, 0, src, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, src, length, out.data(), n, nullptr, nullptr) != n) {
      return std::nullopt;
    }
    return out;
  }

  std::u16string AnsiToWide(std::string_view ansi) override {
    if (ansi.empty()) return {};
    const int length = static_cast<int>(ansi.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, out.data(), n);
    return FromWide(out.c_str(), out.size());
  }

  int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) override {
    return RunDialog(module_, templateId, FromHandle<HWND__>(owner), handler);
  }

 private:
  HINSTANCE module_;
};

}  // namespace

std::unique_ptr<System> CreateSystem() {
  return std::make_unique<Win32System>(::GetModuleHandleW(nullptr));
}

}  // namespace platform::win32
