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

namespace {

// The Tool Help functions of KERNEL32.DLL: none on NT 4, the narrow ones only
// on Windows 9x, all on 2000/XP.
constexpr const char* kToolHelpNarrow[] = {"CreateToolhelp32Snapshot", "Process32First",
                                           "Process32Next", "Module32First", "Module32Next"};
constexpr const char* kToolHelpWide[] = {"Process32FirstW", "Process32NextW", "Module32FirstW",
                                         "Module32NextW"};

void SetToolHelp(FakeSystem& system, bool narrow, bool wide) {
  for (const char* name : kToolHelpNarrow) {
    if (narrow) {
      system.missingFunctions.erase(name);
    } else {
      system.missingFunctions.insert(name);
    }
  }
  for (const char* name : kToolHelpWide) {
    if (wide) {
      system.missingFunctions.erase(name);
    } else {
      system.missingFunctions.insert(name);
    }
  }
}

}  // namespace

void SetUpWindowsXp(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Nt, 5, 1, 2600, u"Service Pack 2"};
  system.folderLayout = WindowsXpFolders();
  system.missingFunctions.erase("GetLongPathNameW");
  system.missingFunctions.erase("CheckTokenMembership");
  SetToolHelp(system, true, true);
  system.processTable.tokenOpenFails = false;
}

void SetUpWindowsNt4(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Nt, 4, 0, 1381, u"Service Pack 6"};
  system.folderLayout = WindowsNt4Folders();
  system.missingFunctions.insert("GetLongPathNameW");
  // CheckTokenMembership came with Windows 2000.
  system.missingFunctions.insert("CheckTokenMembership");
  SetToolHelp(system, false, false);
  system.processTable.tokenOpenFails = false;
}

void SetUpWindows98(FakeSystem& system) {
  system.version = OsVersion{kPlatformWin32Windows, 4, 10, 2222, u" A "};
  system.folderLayout = Windows98Folders();
  system.missingFunctions.erase("GetLongPathNameW");
  system.missingFunctions.insert("CheckTokenMembership");
  SetToolHelp(system, true, false);
  // Windows 9x has no security: OpenProcessToken is not implemented.
  system.processTable.tokenOpenFails = true;
}

// --- The fake's folder operations. ---

std::optional<std::u16string> FakeFoldersArea::SystemDirectory() {
  return system_.folderLayout.systemDirectory;
}

std::optional<std::u16string> FakeFoldersArea::WindowsDirectory() {
  return system_.folderLayout.windowsDirectory;
}

std::optional<std::u16string> FakeFoldersArea::TempPath() { return system_.folderLayout.tempPath; }

bool FakeFoldersArea::Exports(Handle library, std::u16string_view dll,
                              const std::string& function) const {
  const auto it = system_.libraries_.find(library);
  return it != system_.libraries_.end() && text::EqualsNoCase(it->second, dll) &&
         system_.missingFunctions.count(function) == 0;
}

Folders::SpecialFolderPathFunction FakeFoldersArea::BindSpecialFolderPath(Handle library) {
  if (!Exports(library, u"shell32.dll", "SHGetSpecialFolderPathW")) return {};
  return [this](WindowId, int csidl, bool) -> std::optional<std::u16string> {
    const auto it = system_.folderLayout.specialFolders.find(csidl);
    if (it == system_.folderLayout.specialFolders.end()) return std::nullopt;
    return it->second;
  };
}

Folders::LongPathNameFunction FakeFoldersArea::BindLongPathName(Handle library) {
  if (!Exports(library, u"KERNEL32.DLL", "GetLongPathNameW")) return {};
  return [this](std::u16string_view path) -> std::optional<std::u16string> {
    for (const auto& [shortPath, longPath] : system_.folderLayout.longPathNames) {
      if (text::EqualsNoCase(shortPath, path)) return longPath;
    }
    return std::u16string(path);
  };
}

}  // namespace platform::fake
