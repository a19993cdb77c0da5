// The Win32 runtime: version, the program's module, process exit, restarting
// Windows, mutexes, libraries, the clock, threads, the ANSI code page and
// CloseHandle.
#include <algorithm>
#include <functional>
#include <memory>

#include "common/text.h"
#include "platform/win32/areas.h"
#include "platform/win32/binding.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

// The start routine of the threads of StartThread: runs and deletes the body
// it is given. A named WINAPI function: a lambda does not convert to one on
// i686.
DWORD WINAPI RunThreadBody(LPVOID parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

class Win32Runtime final : public Runtime {
 public:
  explicit Win32Runtime(HINSTANCE module) : module_(module) {}

  std::optional<OsVersion> QueryVersion() override {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!api::GetVersionExW(&info)) return std::nullopt;
    return OsVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                     info.dwBuildNumber, FromWide(info.szCSDVersion)};
  }

  std::u16string CommandLine() override {
    const wchar_t* line = api::GetCommandLineW();
    return line == nullptr ? std::u16string() : FromWide(line);
  }

  std::u16string ModuleFileName() override {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = api::GetModuleFileNameW(module_, path, MAX_PATH);
    return FromWide(path, n > MAX_PATH ? MAX_PATH : n);
  }

  MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) override {
    const std::u16string n(name);
    HANDLE h = api::CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, Wide(n));
    const DWORD error = ::GetLastError();
    return MutexResult{ToHandle(h), error};
  }

  [[noreturn]] void ExitProcess(int status) override { ::ExitProcess(static_cast<UINT>(status)); }

  bool ExitWindowsEx(std::uint32_t flags) override { return ::ExitWindowsEx(flags, 0) != FALSE; }

  Handle LoadLibraryAnsi(std::string_view name) override {
    const std::string n(name);
    return ToHandle(::LoadLibraryA(n.c_str()));
  }

  Handle LoadLibraryWide(std::u16string_view name) override {
    const std::u16string n(name);
    return ToHandle(api::LoadLibraryW(Wide(n)));
  }

  void FreeLibraryHandle(Handle library) override {
    if (library != 0) ::FreeLibrary(FromHandle<HINSTANCE__>(library));
  }

  Handle GetModuleHandleWide(std::u16string_view name) override {
    const std::u16string n(name);
    return ToHandle(api::GetModuleHandleW(Wide(n)));
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

  std::u16string UpperCaseTable() override {
    std::u16string table(text::kCaseTableSize, u'\0');
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char16_t>(i);
    HMODULE user32 = ::GetModuleHandleA("USER32.DLL");
    if (user32 == nullptr) user32 = ::LoadLibraryA("USER32.DLL");
    if (api::CurrentFamily() == api::Family::kWindows9x) {
      // CharUpperBuffW is a stub there; the narrow function folds the code
      // page's characters as the file system sees them.
      using CharUpperBuffAProc = DWORD(WINAPI*)(LPSTR, DWORD);
      const auto upper = BindFunction<CharUpperBuffAProc>(user32, "CharUpperBuffA");
      if (upper == nullptr) return {};
      char bytes[256];
      char folded[256];
      for (int b = 0; b < 256; ++b) bytes[b] = folded[b] = static_cast<char>(b);
      upper(folded + 1, 255);
      for (int b = 1; b < 256; ++b) {
        // A lead byte of a double-byte code page is no character alone:
        // MB_ERR_INVALID_CHARS refuses it.
        wchar_t from = 0;
        wchar_t to = 0;
        if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &bytes[b], 1, &from, 1) != 1 ||
            ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &folded[b], 1, &to, 1) != 1) {
          continue;
        }
        table[static_cast<char16_t>(from)] = static_cast<char16_t>(to);
      }
      return table;
    }
    using CharUpperBuffWProc = DWORD(WINAPI*)(LPWSTR, DWORD);
    const auto upper = BindFunction<CharUpperBuffWProc>(user32, "CharUpperBuffW");
    if (upper == nullptr) return {};
    // Code unit 0 stays 0; the rest are folded in one call.
    upper(reinterpret_cast<wchar_t*>(table.data()) + 1, static_cast<DWORD>(table.size() - 1));
    return table;
  }

  Handle StartThread(std::function<void()> body) override {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, RunThreadBody, owned.get(), 0, &id);
    if (thread == nullptr) return 0;
    owned.release();  // the thread deletes it
    return ToHandle(thread);
  }

  bool WaitForThread(Handle thread) override {
    return ::WaitForSingleObject(FromHandle<void>(thread), INFINITE) == WAIT_OBJECT_0;
  }

  bool WaitForThreads(std::span<const Handle> threads) override {
    if (threads.empty() || threads.size() > kMaximumWaitObjects) return false;
    HANDLE handles[kMaximumWaitObjects] = {};
    std::transform(threads.begin(), threads.end(), handles,
                   [](Handle thread) { return FromHandle<void>(thread); });
    const DWORD waited =
        ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), handles, TRUE, INFINITE);
    return waited < WAIT_OBJECT_0 + threads.size();
  }

  bool CloseHandle(Handle handle) override {
    return handle != 0 && ::CloseHandle(FromHandle<void>(handle)) != FALSE;
  }

 private:
  HINSTANCE module_;
};

}  // namespace

std::unique_ptr<Runtime> MakeRuntime(HINSTANCE module) {
  return std::make_unique<Win32Runtime>(module);
}

}  // namespace platform::win32
