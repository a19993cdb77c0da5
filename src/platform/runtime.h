// The program's process and the system around it: the Windows version, the
// program's module, process exit, restarting Windows, named mutexes,
// libraries, the clock, the ANSI code page and closing handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

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

// ExitWindowsEx flags.
inline constexpr std::uint32_t kEwxReboot = 0x2;
inline constexpr std::uint32_t kEwxForce = 0x4;

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

// WaitForMultipleObjects waits for at most this many handles at once
// (MAXIMUM_WAIT_OBJECTS).
inline constexpr std::size_t kMaximumWaitObjects = 64;

// Result of CreateMutexW: the handle (0 when none came back) and the last
// error right after the call.
struct MutexResult {
  Handle handle = 0;
  std::uint32_t lastError = 0;
};

class Runtime {
 public:
  virtual ~Runtime() = default;

  // GetVersionExW with an OSVERSIONINFOW; nothing when the call fails.
  virtual std::optional<OsVersion> QueryVersion() = 0;

  // GetModuleFileNameW of the program's own module (at most 260 characters).
  virtual std::u16string ModuleFileName() = 0;
  // GetCommandLineW: the process's whole command line, program path
  // included (empty when there is none).
  virtual std::u16string CommandLine() = 0;

  // CreateMutexW without security attributes.
  virtual MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) = 0;

  // ExitProcess: never returns.
  [[noreturn]] virtual void ExitProcess(int status) = 0;

  // ExitWindowsEx(flags, 0): true when Windows has taken the request (it
  // then ends every program, this one included, and shuts down or restarts);
  // false when it refuses, as the NT family does unless the shutdown
  // privilege is enabled in the program's token.
  virtual bool ExitWindowsEx(std::uint32_t flags) = 0;

  // LoadLibraryA and LoadLibraryW; 0 when the library cannot be loaded.
  virtual Handle LoadLibraryAnsi(std::string_view name) = 0;
  virtual Handle LoadLibraryWide(std::u16string_view name) = 0;
  // FreeLibrary.
  virtual void FreeLibraryHandle(Handle library) = 0;
  // GetModuleHandleW of a module loaded in the program: its handle, or 0.
  virtual Handle GetModuleHandleWide(std::u16string_view name) = 0;

  // GetLocalTime and GetTickCount.
  virtual LocalTime GetLocalTime() = 0;
  virtual std::uint32_t GetTickCount() = 0;

  // WideCharToMultiByte and MultiByteToWideChar with the ANSI code page.
  // WideToAnsi gives nothing when the conversion fails.
  virtual std::optional<std::string> WideToAnsi(std::u16string_view wide) = 0;
  virtual std::u16string AnsiToWide(std::string_view ansi) = 0;

  // The system's upper case of every UTF-16 code unit (text::kCaseTableSize
  // entries, entry i the upper case of i), the way it folds names: on the NT
  // family CharUpperBuffW over every code unit; on Windows 95/98/ME, whose
  // names are text in the ANSI code page, CharUpperBuffA over the code
  // page's single-byte characters, each other code unit its own upper case.
  // Empty when the system's function cannot be reached.
  virtual std::u16string UpperCaseTable() = 0;

  // CloseHandle: false when the handle is not open.
  virtual bool CloseHandle(Handle handle) = 0;

  // CreateThread with the default stack size, running at once: the new
  // thread runs `body` and ends. The thread's handle (closed with
  // CloseHandle), or 0 when the thread cannot be created.
  virtual Handle StartThread(std::function<void()> body) = 0;
  // WaitForSingleObject(thread, INFINITE): returns when the thread has
  // ended; false when the handle cannot be waited for.
  virtual bool WaitForThread(Handle thread) = 0;
  // WaitForMultipleObjects(threads, wait for all, INFINITE): returns when
  // every thread has ended; false when they cannot be waited for, also when
  // there are none or more than kMaximumWaitObjects.
  virtual bool WaitForThreads(std::span<const Handle> threads) = 0;
};

}  // namespace platform
