// The program's one way to the operating system.
//
// Every operation stands for one system call that the program makes and is
// named after it, with C++ types in place of Windows ones. The layer holds no
// policy: orders, limits, texts, fallbacks and retries live in the callers.
// Names that <windows.h> turns into macros (LoadString, MessageBox,
// CreateMutex, ...) are avoided.
//
// Backends: platform/win32 (the real system; the only one in the Windows
// programs) and platform/fake (an in-memory Windows for tests).
//
// Not thread-safe unless an operation says so; the program calls it from the
// window's thread during start-up.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_types.h"

namespace platform {

class DialogHandler;

// A kernel object or library handle; 0 stands for none.
using Handle = std::uint64_t;
// A window handle; 0 stands for none.
using WindowId = std::uint64_t;

// OSVERSIONINFOW as GetVersionExW fills it.
struct OsVersion {
  std::uint32_t platformId = 0;  // 0 Win32s, 1 Windows 9x/ME, 2 NT family
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::u16string csdVersion;
};
inline constexpr std::uint32_t kPlatformWin32Windows = 1;
inline constexpr std::uint32_t kPlatformWin32Nt = 2;

// SYSTEMTIME of GetLocalTime.
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;  // 1 to 12
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// Message box types and answers, with their Windows values.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The caption argument of ShowMessageBox that stands for none.
inline constexpr std::u16string_view kNoCaption{};

// Windows error codes that callers test for.
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

// Result of CreateMutexW: the handle (0 when none came back) and the last
// error right after the call.
struct MutexResult {
  Handle handle = 0;
  std::uint32_t lastError = 0;
};

// --- Windows Sockets (WS2_32.DLL, bound at run time) ---

// WSAStartup's answer: its result (0 on success) and the wVersion and
// wHighVersion of the WSADATA it filled (0 where it filled nothing).
struct WsaStartupResult {
  int error = 0;
  std::uint16_t version = 0;
  std::uint16_t highVersion = 0;
};
// WSAStartup (requested version: major in the low byte, minor in the high).
using WsaStartupFunction = std::function<WsaStartupResult(std::uint16_t requestedVersion)>;
// WSACleanup: 0 on success, else the socket error.
using WsaCleanupFunction = std::function<int()>;
// gethostname into a buffer of `bufferLength` bytes: the name (8-bit text up
// to its terminating zero), or nothing when the call fails.
using GetHostNameFunction = std::function<std::optional<std::string>(int bufferLength)>;
// gethostbyname: the addresses of the entry in list order (each as its
// h_length bytes), or nothing when no entry comes back.
using GetHostByNameFunction =
    std::function<std::optional<std::vector<std::vector<std::uint8_t>>>(const std::string& name)>;

// --- Files ---

// CreateFileW access, sharing, creation and attribute values.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kTruncateExisting = 5;
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
// SetFilePointer move methods.
inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileCurrent = 1;
inline constexpr std::uint32_t kFileEnd = 2;
// Last errors of the file operations.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;

// Result of CreateFileW: the handle (0 for INVALID_HANDLE_VALUE) and the last
// error right after the call (kErrorAlreadyExists when OPEN_ALWAYS or
// CREATE_ALWAYS met an existing file).
struct FileOpenResult {
  Handle handle = 0;
  std::uint32_t lastError = 0;
};

class System {
 public:
  virtual ~System() = default;

  // GetVersionExW with an OSVERSIONINFOW; nothing when the call fails.
  virtual std::optional<OsVersion> QueryVersion() = 0;

  // GetModuleFileNameW of the program's own module (at most 260 characters).
  virtual std::u16string ModuleFileName() = 0;

  // LoadStringW of the program's string table; nothing when the string is
  // missing or empty.
  virtual std::optional<std::u16string> LoadStringResource(std::uint32_t id) = 0;

  // FindResourceW, LoadResource and LockResource on the program's module:
  // the resource's bytes, or nothing when it is missing or cannot be loaded.
  // `name` is a resource name such as u"#161".
  virtual std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                                    std::u16string_view name) = 0;

  // MessageBoxW; answers the button pressed (kIdOk, kIdYes, ...). A caption
  // without data (kNoCaption) is passed as none, and the system shows its
  // default caption; an empty caption u"" shows an empty title.
  virtual int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                             std::uint32_t type) = 0;

  // CreateMutexW without security attributes.
  virtual MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) = 0;

  // ExitProcess: never returns.
  [[noreturn]] virtual void ExitProcess(int status) = 0;

  // LoadLibraryA and LoadLibraryW; 0 when the library cannot be loaded.
  virtual Handle LoadLibraryAnsi(std::string_view name) = 0;
  virtual Handle LoadLibraryWide(std::u16string_view name) = 0;
  // FreeLibrary.
  virtual void FreeLibraryHandle(Handle library) = 0;

  // GetLocalTime and GetTickCount.
  virtual LocalTime GetLocalTime() = 0;
  virtual std::uint32_t GetTickCount() = 0;

  // WideCharToMultiByte and MultiByteToWideChar with the ANSI code page.
  // WideToAnsi gives nothing when the conversion fails.
  virtual std::optional<std::string> WideToAnsi(std::u16string_view wide) = 0;
  virtual std::u16string AnsiToWide(std::string_view ansi) = 0;

  // DialogBoxParamW with the dialog template `templateId` of the program's
  // module: runs the dialog modally, feeding its events to `handler`, and
  // answers the code given to DialogView::EndModal (-1 when the dialog could
  // not be created).
  virtual int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) = 0;

  // --- Folders, and the shell and kernel functions bound at run time for
  // them (the folder placeholders of the description script) ---

  // GetSystemDirectoryW, GetWindowsDirectoryW and GetTempPathW: the path as
  // the call gives it, whatever its length, or nothing when the call fails.
  virtual std::optional<std::u16string> SystemDirectory() = 0;
  virtual std::optional<std::u16string> WindowsDirectory() = 0;
  virtual std::optional<std::u16string> TempPath() = 0;

  // SHGetSpecialFolderPathW(owner, path, csidl, create): the folder's path,
  // or nothing when the call answers FALSE.
  using SpecialFolderPathFunction =
      std::function<std::optional<std::u16string>(WindowId owner, int csidl, bool create)>;
  // GetLongPathNameW: the long form of `path`, whatever its length, or
  // nothing when the call fails.
  using LongPathNameFunction =
      std::function<std::optional<std::u16string>(std::u16string_view path)>;
  // GetProcAddress of "SHGetSpecialFolderPathW" and of "GetLongPathNameW" in
  // `library` (a handle from LoadLibraryWide): an empty function when the
  // library does not export it.
  virtual SpecialFolderPathFunction BindSpecialFolderPath(Handle library) = 0;
  virtual LongPathNameFunction BindLongPathName(Handle library) = 0;
  // --- Version resources of files (VERSION.DLL) ---

  // GetFileVersionInfoSizeW: the size of the file's version information, 0
  // when it has none or it cannot be read.
  virtual std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) = 0;
  // GetFileVersionInfoW into a buffer of `size` bytes: the block, or nothing
  // when the call fails.
  virtual std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                          std::uint32_t size) = 0;
  // VerQueryValueW for a binary value such as "\VarFileInfo\Translation":
  // its bytes, as many as the call reports, or nothing when it is missing.
  virtual std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) = 0;
  // VerQueryValueW for a text value: the text up to its terminating zero
  // (within the length the call reports), or nothing when it is missing.
  virtual std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                          std::u16string_view subBlock) = 0;
  // GetUserDefaultLangID.
  virtual std::uint16_t GetUserDefaultLangID() = 0;

  // --- Windows Sockets (WS2_32.DLL, bound at run time) ---

  // GetProcAddress of "WSAStartup", "WSACleanup", "gethostname" and
  // "gethostbyname" in `library` (a handle of LoadLibraryAnsi or
  // LoadLibraryWide): the callable, or an empty function when the library
  // lacks it. A callable is valid while the library stays loaded.
  virtual WsaStartupFunction BindWsaStartup(Handle library) = 0;
  virtual WsaCleanupFunction BindWsaCleanup(Handle library) = 0;
  virtual GetHostNameFunction BindGetHostName(Handle library) = 0;
  virtual GetHostByNameFunction BindGetHostByName(Handle library) = 0;

  // --- Files ---

  // SetFileAttributesW: false when the attributes cannot be set.
  virtual bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) = 0;
  // CreateFileW without security attributes or template file.
  virtual FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                        std::uint32_t shareMode, std::uint32_t creationDisposition,
                                        std::uint32_t flagsAndAttributes) = 0;
  // SetFilePointer with a 64-bit distance: the new position from the start of
  // the file, or nothing when the move fails.
  virtual std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                                      std::uint32_t moveMethod) = 0;
  // SetEndOfFile at the current position: false when it fails.
  virtual bool SetEndOfFile(Handle file) = 0;
  // WriteFile at the current position (at most 4 GB less one byte at once):
  // the number of bytes written, or nothing when the call fails.
  virtual std::optional<std::uint32_t> WriteFile(Handle file,
                                                 std::span<const std::uint8_t> bytes) = 0;
  // CloseHandle: false when the handle is not open.
  virtual bool CloseHandle(Handle handle) = 0;

  // --- Processes and modules ---

  // GetProcAddress in `library` (a handle of LoadLibraryWide) of the Tool
  // Help function `exportName`: "CreateToolhelp32Snapshot"; "Process32First"
  // and "Process32Next" (narrow), "Process32FirstW" and "Process32NextW"
  // (wide); "Module32First", "Module32Next", "Module32FirstW",
  // "Module32NextW". An empty function when the library lacks it. A callable
  // is valid while the library stays loaded.
  virtual CreateToolhelp32SnapshotFunction BindCreateToolhelp32Snapshot(Handle library) = 0;
  virtual ProcessWalkAnsiFunction BindProcessWalkAnsi(Handle library,
                                                      std::string_view exportName) = 0;
  virtual ProcessWalkWideFunction BindProcessWalkWide(Handle library,
                                                      std::string_view exportName) = 0;
  virtual ModuleWalkAnsiFunction BindModuleWalkAnsi(Handle library,
                                                    std::string_view exportName) = 0;
  virtual ModuleWalkWideFunction BindModuleWalkWide(Handle library,
                                                    std::string_view exportName) = 0;
  // GetProcAddress of the Process Status Helper functions "EnumProcesses",
  // "EnumProcessModules", "GetModuleBaseNameW" or "GetModuleFileNameExW"
  // (BindModuleName, by `exportName`) and "GetModuleInformation" in
  // `library`: an empty function when it lacks them.
  virtual EnumProcessesFunction BindEnumProcesses(Handle library) = 0;
  virtual EnumProcessModulesFunction BindEnumProcessModules(Handle library) = 0;
  virtual ModuleNameFunction BindModuleName(Handle library, std::string_view exportName) = 0;
  virtual GetModuleInformationFunction BindGetModuleInformation(Handle library) = 0;

  // OpenProcess(access, FALSE, id): the process handle (closed with
  // CloseHandle), or 0.
  virtual Handle OpenProcess(std::uint32_t access, std::uint32_t processId) = 0;
  // OpenProcessToken of the program's own process (GetCurrentProcess) with
  // `access`: the token (closed with CloseHandle), or 0.
  virtual Handle OpenProcessToken(std::uint32_t access) = 0;
  // LookupPrivilegeValueW on the local system: the LUID (high part in the
  // upper 32 bits), or nothing when the name is unknown.
  virtual std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) = 0;
  // AdjustTokenPrivileges(token, FALSE, one privilege with `attributes`,
  // no previous state).
  virtual AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                                       std::uint32_t attributes) = 0;
  // GetModuleHandleW of a module loaded in the program: its handle, or 0.
  virtual Handle GetModuleHandleWide(std::u16string_view name) = 0;
  // GetProcAddress of "BackupRead" and "BackupSeek" in `module` (a handle
  // of GetModuleHandleWide or LoadLibraryWide): an empty function when it
  // lacks them.
  virtual BackupReadFunction BindBackupRead(Handle module) = 0;
  virtual BackupSeekFunction BindBackupSeek(Handle module) = 0;
};

// Folders of SHGetSpecialFolderPathW (CSIDL values).
inline constexpr int kCsidlInternetCache = 0x20;
inline constexpr int kCsidlCookies = 0x21;
inline constexpr int kCsidlProgramFiles = 0x26;
inline constexpr int kCsidlProfile = 0x28;

}  // namespace platform
