#include "system/system_context.h"

#include "common/limits.h"

namespace sys {
namespace {

constexpr char16_t kPsapiFileName[] = u"PSAPI.DLL";

}  // namespace

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
  if (psapi_ != 0) system_.runtime().FreeLibraryHandle(psapi_);
  if (kernel32_ != 0) system_.runtime().FreeLibraryHandle(kernel32_);
}

// Writes the image to the temporary folder as PSAPI.DLL (on every start,
// replacing any file of that name, also where the system has a PSAPI.DLL of
// its own), loads it from there and binds its five functions. The file is
// left in place.
void SystemContext::BindPsapi() {
  const auto image = system_.resources().LoadResourceData(kPsapiResourceType, kPsapiResourceName);
  if (!image || image->empty()) return;
  const auto temp = system_.folders().TempPath();
  if (!temp) return;
  // The path is kept in 260 characters with its terminating zero.
  const std::u16string path = *temp + kPsapiFileName;
  if (path.size() >= limits::kMaxPathChars) return;

  const platform::FileOpenResult file = system_.files().CreateFileWide(
      path, platform::kGenericWrite, 0, platform::kCreateAlways, platform::kFileAttributeNormal);
  if (file.handle == 0) return;
  const auto written = system_.files().WriteFile(file.handle, *image);
  system_.runtime().CloseHandle(file.handle);
  // Only the whole image is a library.
  if (!written || *written != image->size()) return;

  psapi_ = system_.runtime().LoadLibraryWide(path);
  if (psapi_ == 0) return;
  processWalker_ = BindProcessStatusHelperWalker(system_, psapi_);
  if (!processWalker_) {
    system_.runtime().FreeLibraryHandle(psapi_);
    psapi_ = 0;
    return;
  }
  psapiPath_ = path;
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
