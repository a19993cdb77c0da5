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
  // Names are compared as this system folds them from here on.
  caseMapping_.emplace(system_.runtime().UpperCaseTable());

  shell32_ = system_.runtime().LoadLibraryWide(u"shell32.dll");
  if (shell32_ != 0) {
    specialFolderPath_ = system_.folders().BindSpecialFolderPath(shell32_);
    if (!specialFolderPath_) {
      system_.runtime().FreeLibraryHandle(shell32_);
      shell32_ = 0;
    }
  }

  if (isWindowsNt4_) {
    BindPsapi();
  } else {
    BindToolHelp();
  }

  if (kernel32_ == 0) kernel32_ = system_.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  if (kernel32_ != 0) longPathName_ = system_.folders().BindLongPathName(kernel32_);

  streamReader_.Bind(system_);
}

SystemContext::~SystemContext() {
  // The bound functions are forgotten before their libraries go.
  specialFolderPath_ = nullptr;
  longPathName_ = nullptr;
  processWalker_.reset();
  streamReader_.Unbind();
  if (shell32_ != 0) system_.runtime().FreeLibraryHandle(shell32_);
  if (psapi_ != 0) {
    system_.runtime().FreeLibraryHandle(psapi_);
    RemoveOwnPsapi(system_, psapiPath_);
  }
  if (kernel32_ != 0) system_.runtime().FreeLibraryHandle(kernel32_);
}

// Writes the image into a new folder of the program's own under the
// temporary folder (on every start, also where the system has a PSAPI.DLL of
// its own), loads it from there so that nobody can swap it in between
// (own_psapi.h) and binds its five functions. The file and its folder go
// when the library is released.
void SystemContext::BindPsapi() {
  const auto image = system_.resources().LoadResourceData(kPsapiResourceType, kPsapiResourceName);
  if (!image || image->empty()) return;
  const OwnPsapi own = LoadOwnPsapi(system_, *image);
  if (own.library == 0) return;
  psapi_ = own.library;
  processWalker_ = BindProcessStatusHelperWalker(system_, psapi_);
  if (!processWalker_) {
    system_.runtime().FreeLibraryHandle(psapi_);
    psapi_ = 0;
    RemoveOwnPsapi(system_, own.path);
    return;
  }
  psapiPath_ = own.path;
}

// Tool Help from KERNEL32.DLL: the narrow walks on Windows 9x, the wide ones
// elsewhere (also on a platform the program does not know).
void SystemContext::BindToolHelp() {
  kernel32_ = system_.runtime().LoadLibraryWide(u"KERNEL32.DLL");
  if (kernel32_ == 0) return;
  processWalker_ = isWindows9x_ ? BindNarrowToolHelpWalker(system_, kernel32_)
                                : BindWideToolHelpWalker(system_, kernel32_);
  if (!processWalker_) {
    system_.runtime().FreeLibraryHandle(kernel32_);
    kernel32_ = 0;
  }
}

}  // namespace sys
