// The folders of the fake Windows: what GetSystemDirectoryW,
// GetWindowsDirectoryW, GetTempPathW, SHGetSpecialFolderPathW and
// GetLongPathNameW answer, with the layouts of the three Windows families the
// program runs on.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform::fake {

class FakeSystem;

struct FakeFolders {
  // Nothing makes the call fail.
  std::optional<std::u16string> systemDirectory;
  std::optional<std::u16string> windowsDirectory;
  std::optional<std::u16string> tempPath;
  // SHGetSpecialFolderPathW by CSIDL; a CSIDL without entry answers FALSE.
  std::map<int, std::u16string> specialFolders;
  // GetLongPathNameW: the answer for a path (compared without regard to
  // case), nothing making the call fail; a path without entry is answered
  // unchanged, as for a path that is long already.
  std::map<std::u16string, std::optional<std::u16string>> longPathNames;
};

// Windows XP, user Administrator; with P = C:\Documents and Settings\Administrator:
//   system directory   C:\WINDOWS\system32
//   Windows directory  C:\WINDOWS
//   temporary folder   C:\DOCUME~1\ADMINI~1\LOCALS~1\Temp\ as GetTempPathW gives it,
//                      P\Local Settings\Temp\ in its long form
//   program files      C:\Program Files
//   profile            P
//   browser cache      P\Local Settings\Temporary Internet Files
//   cookies            P\Cookies
FakeFolders WindowsXpFolders();
// Windows NT 4.0: C:\WINNT, C:\WINNT\system32, temporary folder C:\TEMP\,
// profile C:\WINNT\Profiles\Administrator (cache and cookies below it).
FakeFolders WindowsNt4Folders();
// Windows 98: C:\WINDOWS, C:\WINDOWS\SYSTEM, temporary folder C:\WINDOWS\TEMP\,
// no profile folder (CSIDL_PROFILE answers FALSE), cache and cookies below
// C:\WINDOWS.
FakeFolders Windows98Folders();

// Make `system` a whole Windows of that family: version answer and folders.
// Windows NT 4.0 has no GetLongPathNameW and no Tool Help in its KERNEL32.DLL;
// Windows 9x has only the narrow Tool Help functions and no process token;
// neither has CheckTokenMembership.
void SetUpWindowsXp(FakeSystem& system);
void SetUpWindowsNt4(FakeSystem& system);
void SetUpWindows98(FakeSystem& system);

}  // namespace platform::fake
