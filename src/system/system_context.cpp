#include "system/system_context.h"

#include "system/own_psapi.h"

namespace sys {

SystemContext::SystemContext(platform::System& system) : system_(system) {
  const auto version = system_.runtime().QueryVersion();
  if (!version) {
    versionQueryFailed_ = true;
    return;
  }
  isWindows9x_ = version->platformId == platform::kPlatformWin32Windows;
  isWindowsNt4_ = version->platformId == platform::kPlatformWin32Nt && version->majorVersion == 4;

  shell32_ = system_.runtime().LoadLibraryWide(u"shell32.dll");
  if (shell32_ != 0) {
    specialFolderPath_ = system_.folders().BindSpecialFolderPath(shell32_);
    if (!specialFolderPath_) {
      system_.runtime().FreeLibraryHandle(shell32_);
      shell32_ = 0;
    }
  }

  BindEnumeration();

  if (kernel32_ == 0) kernel32_ = system_.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  if (kernel32_ != 0) longPathName_ = system_.folders().BindLongPathName(kernel32_);

  streamReader_.Bind(system_);
}

SystemContext::~SystemContext() {
  // The bound functions are forgotten before their libraries go.
  specialFolderPath_ = nullptr;
  longPathName_ = nullptr;
  enumeration_ = EnumerationSet{};
  streamReader_.Unbind();
  if (shell32_ != 0) system_.runtime().FreeLibraryHandle(shell32_);
  if (psapi_ != 0) {
    system_.runtime().FreeLibraryHandle(psapi_);
    RemoveOwnPsapi(system_, psapiPath_);
  }
  if (kernel32_ != 0) system_.runtime().FreeLibraryHandle(kernel32_);
}

void SystemContext::BindEnumeration() {
  // Each binding leaves the functions empty when it fails.
  const bool bound = isWindowsNt4_ ? BindPsapi() : BindToolHelp();
  enumeration_.system = &system_;
  enumeration_.bound = bound;
  enumeration_.usesPsapi = isWindowsNt4_;
  enumeration_.narrow = isWindows9x_;
}

// Writes the image into a new folder of the program's own under the
// temporary folder (on every start, also where the system has a PSAPI.DLL of
// its own), loads it from there so that nobody can swap it in between
// (own_psapi.h) and binds its five functions. The file and its folder go
// when the library is released.
bool SystemContext::BindPsapi() {
  const auto image = system_.resources().LoadResourceData(kPsapiResourceType, kPsapiResourceName);
  if (!image || image->empty()) return false;
  const OwnPsapi own = LoadOwnPsapi(system_, *image);
  if (own.library == 0) return false;
  psapi_ = own.library;
  enumeration_.enumProcesses = system_.processes().BindEnumProcesses(psapi_);
  enumeration_.enumProcessModules = system_.processes().BindEnumProcessModules(psapi_);
  enumeration_.getModuleBaseName = system_.processes().BindModuleName(psapi_, "GetModuleBaseNameW");
  enumeration_.getModuleFileNameEx =
      system_.processes().BindModuleName(psapi_, "GetModuleFileNameExW");
  enumeration_.getModuleInformation = system_.processes().BindGetModuleInformation(psapi_);
  if (!enumeration_.enumProcesses || !enumeration_.enumProcessModules ||
      !enumeration_.getModuleBaseName || !enumeration_.getModuleFileNameEx ||
      !enumeration_.getModuleInformation) {
    enumeration_ = EnumerationSet{};
    system_.runtime().FreeLibraryHandle(psapi_);
    psapi_ = 0;
    RemoveOwnPsapi(system_, own.path);
    return false;
  }
  psapiPath_ = own.path;
  return true;
}

// Tool Help from KERNEL32.DLL: the narrow walks on Windows 9x, the wide ones
// elsewhere (also on a platform the program does not know).
bool SystemContext::BindToolHelp() {
  kernel32_ = system_.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  if (kernel32_ == 0) return false;
  EnumerationSet& set = enumeration_;
  set.createSnapshot = system_.processes().BindCreateToolhelp32Snapshot(kernel32_);
  bool complete = false;
  if (isWindows9x_) {
    set.process32First = system_.processes().BindProcessWalkAnsi(kernel32_, "Process32First");
    set.process32Next = system_.processes().BindProcessWalkAnsi(kernel32_, "Process32Next");
    set.module32First = system_.processes().BindModuleWalkAnsi(kernel32_, "Module32First");
    set.module32Next = system_.processes().BindModuleWalkAnsi(kernel32_, "Module32Next");
    complete = set.createSnapshot && set.process32First && set.process32Next && set.module32First &&
               set.module32Next;
  } else {
    set.process32FirstW = system_.processes().BindProcessWalkWide(kernel32_, "Process32FirstW");
    set.process32NextW = system_.processes().BindProcessWalkWide(kernel32_, "Process32NextW");
    set.module32FirstW = system_.processes().BindModuleWalkWide(kernel32_, "Module32FirstW");
    set.module32NextW = system_.processes().BindModuleWalkWide(kernel32_, "Module32NextW");
    complete = set.createSnapshot && set.process32FirstW && set.process32NextW &&
               set.module32FirstW && set.module32NextW;
  }
  if (!complete) {
    enumeration_ = EnumerationSet{};
    system_.runtime().FreeLibraryHandle(kernel32_);
    kernel32_ = 0;
  }
  return complete;
}

}  // namespace sys
