#include "removal/protected_processes.h"

#include <array>
#include <span>

#include "common/text.h"
#include "system/process_enumeration.h"

namespace removal {
namespace {

// The processes of Windows NT 4.0, 2000 and XP whose end stops the system:
//  - csrss.exe and winlogon.exe: their end is the bug check 0xC000021A
//    (STATUS_SYSTEM_PROCESS_TERMINATED, "a user-mode subsystem such as
//    Winlogon or the Client Server Run-Time Subsystem has been fatally
//    compromised");
//  - smss.exe, the session manager, waits on both and ends the session with
//    the same bug check when it goes;
//  - lsass.exe and services.exe: Windows 2000 and XP answer their end with the
//    "System Shutdown" box ("... terminated unexpectedly ... The system will
//    now shut down and restart") and restart within a minute, as the worms
//    that crashed lsass.exe showed;
// and the Task Manager of Windows XP refuses to end exactly these five ("This
// is a critical system process").
constexpr std::array<std::u16string_view, 5> kNtSystemProcesses = {
    u"smss.exe", u"csrss.exe", u"winlogon.exe", u"services.exe", u"lsass.exe"};

// The processes of Windows 95, 98 and ME whose end stops the system, as
// their Tool Help lists them: KERNEL32.DLL stands for the Win32 kernel
// itself; MSGSRV32.EXE is the message server that hosts the 16-bit side of
// the system and starts the shell, and the session ends with it; MPREXE.EXE,
// the multiple provider router, holds the logon and the network providers.
// The shell (EXPLORER.EXE) is not among them: its end takes the desktop away
// but stops neither family (the NT logon process starts it again), and a shell
// infected by a file infector must be ended like any other program.
constexpr std::array<std::u16string_view, 3> k9xSystemProcesses = {u"KERNEL32.DLL", u"MSGSRV32.EXE",
                                                                   u"MPREXE.EXE"};

bool StripPrefix(std::u16string_view& path, std::u16string_view prefix) {
  if (!text::StartsWithNoCase(path, prefix)) return false;
  path.remove_prefix(prefix.size());
  return true;
}

std::u16string_view WithoutTrailingSlash(std::u16string_view folder) {
  while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
  return folder;
}

}  // namespace

std::u16string OrdinaryImagePath(std::u16string_view path, std::u16string_view systemDirectory) {
  // The object manager's DOS device folder and the Win32 long path prefix
  // both lead to the drive path that follows them.
  if (StripPrefix(path, u"\\??\\") || StripPrefix(path, u"\\\\?\\")) return std::u16string(path);
  // \SystemRoot is the Windows folder, which holds the system folder.
  std::u16string_view rest = path;
  if (StripPrefix(rest, u"\\SystemRoot\\")) {
    const std::u16string_view system = WithoutTrailingSlash(systemDirectory);
    const std::size_t slash = system.rfind(u'\\');
    if (slash != std::u16string_view::npos) {
      return std::u16string(system.substr(0, slash + 1)).append(rest);
    }
  }
  return std::u16string(path);
}

bool IsSystemProcessImage(std::u16string_view path, std::u16string_view systemDirectory,
                          bool windows9x) {
  const std::u16string ordinary = OrdinaryImagePath(path, systemDirectory);
  const std::u16string_view image = ordinary;
  const std::size_t slash = image.rfind(u'\\');
  const std::u16string_view name =
      slash == std::u16string_view::npos ? image : image.substr(slash + 1);
  bool named = false;
  for (const std::u16string_view system :
       windows9x ? std::span<const std::u16string_view>(k9xSystemProcesses)
                 : std::span<const std::u16string_view>(kNtSystemProcesses)) {
    if (text::EqualsNoCase(name, system)) named = true;
  }
  if (!named) return false;
  // A name without folder, or a form without drive ("\Device\..."), tells no
  // place: it may be the system's.
  if (slash == std::u16string_view::npos ||
      (image.front() == u'\\' && !image.starts_with(u"\\\\"))) {
    return true;
  }
  const std::u16string_view folder = WithoutTrailingSlash(systemDirectory);
  return folder.empty() || text::EqualsNoCase(image.substr(0, slash), folder);
}

bool IsSystemProcessFile(const sys::SystemContext& system, std::u16string_view path) {
  const std::optional<std::u16string> folder = system.system().folders().SystemDirectory();
  return IsSystemProcessImage(path, folder.value_or(u""), system.isWindows9x());
}

ProcessProtection ProtectionOf(const sys::SystemContext& system, std::uint32_t processId) {
  if (processId == system.system().processes().GetCurrentProcessId()) {
    return ProcessProtection::kOwn;
  }
  const sys::ProcessWalker* walker = system.processWalker();
  if (walker == nullptr) return ProcessProtection::kUnknownImage;
  std::optional<std::u16string> image;
  // On the NT family the first module is the executable, named by its path;
  // Windows 9x lists modules in no such order but names the process by its
  // path.
  if (!system.isWindows9x()) {
    if (const auto modules = walker->OpenModuleList(processId)) {
      sys::ModuleRecord first;
      if (modules->Next(first)) image = std::move(first.path);
    }
  }
  if (!image) {
    if (const auto processes = walker->OpenProcessList()) {
      sys::RunningProcess process;
      while (processes->Next(process)) {
        if (process.processId == processId) {
          image = std::move(process.name);
          break;
        }
      }
    }
  }
  if (!image || image->empty()) return ProcessProtection::kUnknownImage;
  return IsSystemProcessFile(system, *image) ? ProcessProtection::kSystem
                                             : ProcessProtection::kNone;
}

}  // namespace removal
