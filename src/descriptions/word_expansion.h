// The expansion that every word of the description script undergoes right
// after it is read, whatever its role: first the registry root abbreviation,
// then the folder placeholders.
//
//   hklm\SOFTWARE\X          ->  HKEY_LOCAL_MACHINE\SOFTWARE\X
//   HKCUfoo                  ->  HKEY_CURRENT_USERfoo (only the four letters count)
//   %windir%\a;%WINDIR%\b    ->  C:\WINDOWS\a;C:\WINDOWS\b
//   %HOME%\x  (no profile)   ->  nothing: the word reads as empty
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "system/system_context.h"

namespace descriptions {

// When the first four characters of `word` equal "HKCU", "HKLM", "HKCR",
// "HKUS" or "HKCC" (tried in this order, without regard to case), they are
// replaced by the full root name; the rest of the word is kept as it is.
std::u16string ExpandRegistryRoot(std::u16string_view word);

// The folders that placeholders stand for.
enum class Folder {
  kSystem,         // %SYSDIR%: GetSystemDirectoryW
  kWindows,        // %WINDIR%: GetWindowsDirectoryW
  kProgramFiles,   // %PROGRAM_FILES%: SHGetSpecialFolderPathW, CSIDL_PROGRAM_FILES
  kHome,           // %HOME%: SHGetSpecialFolderPathW, CSIDL_PROFILE
  kTemp,           // %TEMPDIR%: GetTempPathW in its long form, without its final backslash
  kInternetCache,  // %TEMPORARY_INTERNET_FILES%: CSIDL_INTERNET_CACHE
  kCookies,        // %COOKIES%: CSIDL_COOKIES
};

// The folder's path as the system gives it; nothing when it cannot be
// determined (the function is not bound, fails, gives an empty path or one
// longer than limits::kMaxFolderPath). The temporary folder: GetTempPathW, turned into
// its long form by GetLongPathNameW except on Windows NT 4.0 (which lacks that
// function and whose path is used as it is), then without its trailing
// backslash.
std::optional<std::u16string> FolderPath(Folder folder, const sys::SystemContext& context);

// Replaces every occurrence of each placeholder in `word` (found without
// regard to case, placeholders taken in the order of Folder) by its folder's
// path. Nothing when a placeholder occurs whose folder cannot be determined:
// the word then reads as empty. "%infected_file%" and "%infected_processes%"
// are not placeholders here and stay as they are.
std::optional<std::u16string> ExpandFolderPlaceholders(std::u16string_view word,
                                                       const sys::SystemContext& context);

}  // namespace descriptions
