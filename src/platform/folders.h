// Folders, and the shell and kernel functions bound at run time for them
// (the folder placeholders of the description script).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

class Folders {
 public:
  virtual ~Folders() = default;

  // GetSystemDirectoryW, GetWindowsDirectoryW and GetTempPathW: the path as
  // the call gives it, whatever its length, or nothing when the call fails.
  virtual std::optional<std::u16string> SystemDirectory() = 0;
  virtual std::optional<std::u16string> WindowsDirectory() = 0;
  virtual std::optional<std::u16string> TempPath() = 0;

  // SHGetSpecialFolderPathW(owner, path, csidl, create): the folder's path,
  // or nothing when the call answers FALSE.
  using SpecialFolderPathFunction =
      std::function<std::optional<std::u16string>(WindowId owner, int csidl, bool create)>;
  // GetLongPathNameW: the long form of `path`, whatever its length, or
  // nothing when the call fails.
  using LongPathNameFunction =
      std::function<std::optional<std::u16string>(std::u16string_view path)>;
  // GetProcAddress of "SHGetSpecialFolderPathW" and of "GetLongPathNameW" in
  // `library` (a handle from LoadLibraryWide): an empty function when the
  // library does not export it.
  virtual SpecialFolderPathFunction BindSpecialFolderPath(Handle library) = 0;
  virtual LongPathNameFunction BindLongPathName(Handle library) = 0;
};

// Folders of SHGetSpecialFolderPathW (CSIDL values).
inline constexpr int kCsidlInternetCache = 0x20;
inline constexpr int kCsidlCookies = 0x21;
inline constexpr int kCsidlProgramFiles = 0x26;
inline constexpr int kCsidlProfile = 0x28;

}  // namespace platform
