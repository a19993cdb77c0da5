#include "platform/fake/fake_folders.h"

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {

FakeFolders WindowsXpFolders() {
  FakeFolders folders;
  folders.systemDirectory = u"C:\\WINDOWS\\system32";
  folders.windowsDirectory = u"C:\\WINDOWS";
  folders.tempPath = u"C:\\DOCUME~1\\ADMINI~1\\LOCALS~1\\Temp\\";
  folders.longPathNames[u"C:\\DOCUME~1\\ADMINI~1\\LOCALS~1\\Temp\\"] =
      u"C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\";
  const std::u16string profile = u"C:\\Documents and Settings\\Administrator";
  folders.specialFolders = {
      {kCsidlProgramFiles, u"C:\\Program Files"},
      {kCsidlProfile, profile},
      {kCsidlInternetCache, profile + u"\\Local Settings\\Temporary Internet Files"},
      {kCsidlCookies, profile + u"\\Cookies"},
  };
  return folders;
}

FakeFolders WindowsNt4Folders() {
  FakeFolders folders;
  folders.systemDirectory = u"C:\\WINNT\\system32";
  folders.windowsDirectory = u"C:\\WINNT";
  folders.tempPath = u"C:\\TEMP\\";
  const std::u16string profile = u"C:\\WINNT\\Profiles\\Administrator";
  folders.specialFolders = {
      {kCsidlProgramFiles, u"C:\\Program Files"},
      {kCsidlProfile, profile},
      {kCsidlInternetCache, profile + u"\\Temporary Internet Files"},
      {kCsidlCookies, profile + u"\\Cookies"},
  };
  return folders;
}

FakeFolders Windows98Folders() {
  FakeFolders folders;
  folders.systemDirectory = u"C:\\WINDOWS\\SYSTEM";
  folders.windowsDirectory = u"C:\\WINDOWS";
  folders.tempPath = u"C:\\WINDOWS\\TEMP\\";
  folders.specialFolders = {
      {kCsidlProgramFiles, u"C:\\Program Files"},
      {kCsidlInternetCache, u"C:\\WINDOWS\\Temporary Internet Files"},
      {kCsidlCookies, u"C:\\WINDOWS\\Cookies"},
  };
  return folders;
}

void SetUpWindowsXp(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Nt, 5, 1, 2600, u"Service Pack 2"};
  system.folders = WindowsXpFolders();
  system.missingFunctions.erase("GetLongPathNameW");
}

void SetUpWindowsNt4(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Nt, 4, 0, 1381, u"Service Pack 6"};
  system.folders = WindowsNt4Folders();
  system.missingFunctions.insert("GetLongPathNameW");
}

void SetUpWindows98(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Windows, 4, 10, 2222, u" A "};
  system.folders = Windows98Folders();
  system.missingFunctions.erase("GetLongPathNameW");
}

// --- The FakeSystem operations on folders. ---

bool FakeSystem::Exports(Handle library, std::u16string_view dll,
                         const std::string& function) const {
  const auto it = libraries_.find(library);
  return it != libraries_.end() && text::EqualsNoCase(it->second, dll) &&
         missingFunctions.count(function) == 0;
}

System::SpecialFolderPathFunction FakeSystem::BindSpecialFolderPath(Handle library) {
  if (!Exports(library, u"shell32.dll", "SHGetSpecialFolderPathW")) return {};
  return [this](WindowId, int csidl, bool) -> std::optional<std::u16string> {
    const auto it = folders.specialFolders.find(csidl);
    if (it == folders.specialFolders.end()) return std::nullopt;
    return it->second;
  };
}

System::LongPathNameFunction FakeSystem::BindLongPathName(Handle library) {
  if (!Exports(library, u"KERNEL32.DLL", "GetLongPathNameW")) return {};
  return [this](std::u16string_view path) -> std::optional<std::u16string> {
    for (const auto& [shortPath, longPath] : folders.longPathNames) {
      if (text::EqualsNoCase(shortPath, path)) return longPath;
    }
    return std::u16string(path);
  };
}

}  // namespace platform::fake
