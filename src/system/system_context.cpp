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
  if (psapi_ != 0) system_.runtime().FreeLibraryHandle(psapi_);
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

// Writes the image to the temporary folder as PSAPI.DLL (on every start,
// replacing any file of that name, also where the system has a PSAPI.DLL of
// its own), loads it from there and binds its five functions. The file is
// left in place.
bool SystemContext::BindPsapi() {
  const auto image = system_.resources().LoadResourceData(kPsapiResourceType, kPsapiResourceName);
  if (!image || image->empty()) return false;
  const auto temp = system_.folders().TempPath();
  if (!temp) return false;
  // The path is kept in 260 characters with its terminating zero.
  const std::u16string path = *temp + kPsapiFileName;
  if (path.size() >= limits::kMaxPathChars) return false;

  const platform::FileOpenResult file = system_.files().CreateFileWide(
      path, platform::kGenericWrite, 0, platform::kCreateAlways, platform::kFileAttributeNormal);
  if (file.handle == 0) return false;
  const auto written = system_.files().WriteFile(file.handle, *image);
  system_.runtime().CloseHandle(file.handle);
  // Only the whole image is a library.
  if (!written || *written != image->size()) return false;

  psapi_ = system_.runtime().LoadLibraryWide(path);
  if (psapi_ == 0) return false;
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
    return false;
  }
  psapiPath_ = path;
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
