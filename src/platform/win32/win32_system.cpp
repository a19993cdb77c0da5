#include "platform/win32/win32_system.h"

#include <algorithm>

#include "platform/win32/dialog_host.h"
#include "platform/win32/process_binding.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winsock_binding.h"

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

// GetProcAddress as a typed function pointer; null when missing.
template <typename Function>
Function Bind(Handle library, const char* name) {
  if (library == 0) return nullptr;
  const FARPROC proc = ::GetProcAddress(FromHandle<HINSTANCE__>(library), name);
  // Through void(*)() so that the compiler accepts the change of signature.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

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
    return ::MessageBoxW(FromHandle<HWND__>(owner), Wide(t),
                         caption.data() == nullptr ? nullptr : Wide(c), type);
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

  // --- Folders and the functions bound for them ---

  std::optional<std::u16string> SystemDirectory() override {
    return QueryPath(
        [](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
  }

  std::optional<std::u16string> WindowsDirectory() override {
    return QueryPath(
        [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
  }

  std::optional<std::u16string> TempPath() override {
    return QueryPath([](wchar_t* buffer, UINT size) { return ::GetTempPathW(size, buffer); });
  }

  SpecialFolderPathFunction BindSpecialFolderPath(Handle library) override {
    using Function = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    const auto function = Bind<Function>(library, "SHGetSpecialFolderPathW");
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
    const auto function = Bind<Function>(library, "GetLongPathNameW");
    if (function == nullptr) return {};
    return [function](std::u16string_view path) -> std::optional<std::u16string> {
      const std::u16string shortPath(path);
      return QueryPath([&](wchar_t* buffer, UINT size) {
        return static_cast<UINT>(function(Wide(shortPath), buffer, size));
      });
    };
  }

  // --- Version resources of files ---

  std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) override {
    const std::u16string p(path);
    DWORD ignored = 0;
    return ::GetFileVersionInfoSizeW(Wide(p), &ignored);
  }

  std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                  std::uint32_t size) override {
    const std::u16string p(path);
    std::vector<std::uint8_t> block(size);
    if (size == 0 || !::GetFileVersionInfoW(Wide(p), 0, size, block.data())) return std::nullopt;
    return block;
  }

  std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) override {
    std::vector<std::uint8_t> copy(block);
    const auto value = QueryValue(copy, subBlock);
    if (!value) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(value->first);
    return std::vector<std::uint8_t>(bytes,
                                     bytes + std::min(value->second.size, value->second.room));
  }

  std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                  std::u16string_view subBlock) override {
    std::vector<std::uint8_t> copy(block);
    const auto value = QueryValue(copy, subBlock);
    if (!value) return std::nullopt;
    // The length counts characters, the terminating zero included.
    const auto* chars = static_cast<const char16_t*>(value->first);
    std::u16string_view text(chars, std::min(value->second.size, value->second.room / 2));
    return std::u16string(text.substr(0, text.find(u'\0')));
  }

  std::uint16_t GetUserDefaultLangID() override { return ::GetUserDefaultLangID(); }

  // --- Windows Sockets ---

  WsaStartupFunction BindWsaStartup(Handle library) override { return BindWsaStartupIn(library); }
  WsaCleanupFunction BindWsaCleanup(Handle library) override { return BindWsaCleanupIn(library); }
  GetHostNameFunction BindGetHostName(Handle library) override {
    return BindGetHostNameIn(library);
  }
  GetHostByNameFunction BindGetHostByName(Handle library) override {
    return BindGetHostByNameIn(library);
  }

  // --- Files ---

  bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) override {
    const std::u16string p(path);
    return ::SetFileAttributesW(Wide(p), attributes) != FALSE;
  }

  FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creationDisposition,
                                std::uint32_t flagsAndAttributes) override {
    const std::u16string p(path);
    HANDLE h = ::CreateFileW(Wide(p), access, shareMode, nullptr, creationDisposition,
                             flagsAndAttributes, nullptr);
    const DWORD error = ::GetLastError();
    return FileOpenResult{h == INVALID_HANDLE_VALUE ? 0 : ToHandle(h), error};
  }

  std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                              std::uint32_t moveMethod) override {
    LONG high = static_cast<LONG>(distance >> 32);
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(FromHandle<void>(file),
                                       static_cast<LONG>(distance & 0xFFFFFFFF), &high, moveMethod);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return std::nullopt;
    return (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  }

  bool SetEndOfFile(Handle file) override {
    return ::SetEndOfFile(FromHandle<void>(file)) != FALSE;
  }

  std::optional<std::uint32_t> WriteFile(Handle file,
                                         std::span<const std::uint8_t> bytes) override {
    DWORD written = 0;
    if (!::WriteFile(FromHandle<void>(file), bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr)) {
      return std::nullopt;
    }
    return written;
  }

  bool CloseHandle(Handle handle) override {
    return handle != 0 && ::CloseHandle(FromHandle<void>(handle)) != FALSE;
  }

  // --- Processes and modules ---

  CreateToolhelp32SnapshotFunction BindCreateToolhelp32Snapshot(Handle library) override {
    return BindCreateToolhelp32SnapshotIn(library);
  }
  ProcessWalkAnsiFunction BindProcessWalkAnsi(Handle library,
                                              std::string_view exportName) override {
    return BindProcessWalkAnsiIn(library, exportName);
  }
  ProcessWalkWideFunction BindProcessWalkWide(Handle library,
                                              std::string_view exportName) override {
    return BindProcessWalkWideIn(library, exportName);
  }
  ModuleWalkAnsiFunction BindModuleWalkAnsi(Handle library, std::string_view exportName) override {
    return BindModuleWalkAnsiIn(library, exportName);
  }
  ModuleWalkWideFunction BindModuleWalkWide(Handle library, std::string_view exportName) override {
    return BindModuleWalkWideIn(library, exportName);
  }
  EnumProcessesFunction BindEnumProcesses(Handle library) override {
    return BindEnumProcessesIn(library);
  }
  EnumProcessModulesFunction BindEnumProcessModules(Handle library) override {
    return BindEnumProcessModulesIn(library);
  }
  ModuleNameFunction BindModuleName(Handle library, std::string_view exportName) override {
    return BindModuleNameIn(library, exportName);
  }
  GetModuleInformationFunction BindGetModuleInformation(Handle library) override {
    return BindGetModuleInformationIn(library);
  }
  Handle OpenProcess(std::uint32_t access, std::uint32_t processId) override {
    return OpenProcessWith(access, processId);
  }
  Handle OpenProcessToken(std::uint32_t access) override { return OpenOwnProcessToken(access); }
  std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) override {
    return LookupPrivilege(name);
  }
  AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                               std::uint32_t attributes) override {
    return AdjustPrivilege(token, privilege, attributes);
  }
  Handle GetModuleHandleWide(std::u16string_view name) override { return ModuleHandleOf(name); }
  BackupReadFunction BindBackupRead(Handle module) override { return BindBackupReadIn(module); }
  BackupSeekFunction BindBackupSeek(Handle module) override { return BindBackupSeekIn(module); }

 private:
  struct ValueLength {
    std::size_t size;  // as VerQueryValueW reports it
    std::size_t room;  // bytes from the value to the end of the block
  };

  // VerQueryValueW on `block`: the value's address inside it and its length.
  // A length that would reach past the block is cut at its end.
  static std::optional<std::pair<const void*, ValueLength>> QueryValue(
      std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
    const std::u16string sub(subBlock);
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() || !::VerQueryValueW(block.data(), Wide(sub), &value, &length) ||
        value == nullptr) {
      return std::nullopt;
    }
    const auto* at = static_cast<const std::uint8_t*>(value);
    const std::uint8_t* end = block.data() + block.size();
    if (at < block.data() || at > end) return std::nullopt;
    const auto room = static_cast<std::size_t>(end - at);
    return std::make_pair(static_cast<const void*>(value), ValueLength{length, room});
  }

  HINSTANCE module_;
};

}  // namespace

std::unique_ptr<System> CreateSystem() {
  return std::make_unique<Win32System>(::GetModuleHandleW(nullptr));
}

}  // namespace platform::win32
