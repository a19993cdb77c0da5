// Profile files: the sections and keys of initialisation files such as
// win.ini and system.ini, read and written through the system's profile
// functions. Paths are full paths; without one the system would look in the
// Windows directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ProfileFiles {
 public:
  virtual ~ProfileFiles() = default;

  // GetPrivateProfileSectionNamesW with a buffer of `bufferChars`
  // characters: the section names it put there, in file order. A buffer
  // without room for the list and two more characters gets the list cut
  // after bufferChars - 2 characters. Empty when the file is
  // missing or has no sections.
  virtual std::vector<std::u16string> GetPrivateProfileSectionNamesWide(
      std::uint32_t bufferChars, std::u16string_view path) = 0;
  // GetPrivateProfileSectionW with a buffer of `bufferChars` characters: the
  // lines of the first section named `section` (without regard to case), as
  // the system gives them: "key=value" with blanks around key and value
  // removed, a line without "=" as it stands; blank lines and comments (";")
  // left out. A buffer too small cuts the list as above.
  // Empty for a missing file or section.
  virtual std::vector<std::u16string> GetPrivateProfileSectionWide(std::u16string_view section,
                                                                   std::uint32_t bufferChars,
                                                                   std::u16string_view path) = 0;
  // WritePrivateProfileStringW(section, key, value, path): sets the first
  // line of the first section named `section` whose key is `key` (both
  // without regard to case) to "key=value", adding the line or the section
  // (at the end) when missing and creating the file when it does not exist.
  // False when the file cannot be written.
  virtual bool WritePrivateProfileStringWide(std::u16string_view section, std::u16string_view key,
                                             std::u16string_view value,
                                             std::u16string_view path) = 0;
  // WritePrivateProfileStringW(NULL, NULL, NULL, path): the system writes
  // out and drops the copy of the file it caches, so that a program may
  // change the file itself in between (Microsoft Knowledge Base Q107695,
  // "PRB: Updating Multiple Device= Lines in SYSTEM.INI"). What the call
  // answers differs between systems and is not looked at.
  virtual void FlushProfileCache(std::u16string_view path) = 0;
};

}  // namespace platform
