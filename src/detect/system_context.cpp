#include "detect/system_context.h"

namespace detect {
namespace {

// The process-wide instance. A plain pointer rather than a static object: it
// must not be destroyed after the platform system it refers to, which the
// entry point owns, so only DestroySystemContext() ends it.
SystemContext* instance = nullptr;

}  // namespace

SystemContext::SystemContext(platform::System& system) : system_(system) {
  const auto version = system_.QueryVersion();
  if (!version) {
    versionQueryFailed_ = true;
    return;
  }
  isWindows9x_ = version->platformId == platform::kPlatformWin32Windows;
  isWindowsNt4_ = version->platformId == platform::kPlatformWin32Nt && version->majorVersion == 4;

  shell32_ = system_.LoadLibraryWide(u"shell32.dll");
  if (shell32_ != 0) {
    specialFolderPath_ = system_.BindSpecialFolderPath(shell32_);
    if (!specialFolderPath_) {
      system_.FreeLibraryHandle(shell32_);
      shell32_ = 0;
    }
  }

  // The process enumeration set is bound here (it may load KERNEL32.DLL).

  if (kernel32_ == 0) kernel32_ = system_.LoadLibraryWide(u"KERNEL32.DLL");
  if (kernel32_ != 0) longPathName_ = system_.BindLongPathName(kernel32_);

  // The work buffer is allocated and the stream reader bound here.
}

SystemContext::~SystemContext() {
  specialFolderPath_ = nullptr;
  longPathName_ = nullptr;
  if (shell32_ != 0) system_.FreeLibraryHandle(shell32_);
  if (kernel32_ != 0) system_.FreeLibraryHandle(kernel32_);
}

SystemContext& GetSystemContext() {
  if (instance == nullptr) instance = new SystemContext(platform::Current());
  return *instance;
}

void DestroySystemContext() {
  delete instance;
  instance = nullptr;
}

}  // namespace detect
