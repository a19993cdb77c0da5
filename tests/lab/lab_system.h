// The plain Win32 calls of the infection lab: folders, files, registry
// values and keys, ini entries, processes. Every function answers what it
// found, or false/nothing when the call failed; none throws.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lab {

using Bytes = std::vector<std::uint8_t>;

// The prefix's drives other than C:, as "D: E: ..."; empty when C: is the
// only one. Nothing when the drive strings cannot be read.
std::optional<std::wstring> OtherDrives();

// The folders the lab works in, without a final backslash.
struct Folders {
  std::wstring windows;       // GetWindowsDirectoryW
  std::wstring system;        // GetSystemDirectoryW
  std::wstring desktop;       // the user's desktop folder
  std::wstring programFiles;  // the program files folder
  std::wstring own;           // the folder of qrt-lab.exe and its sample programs
  std::wstring state;         // C:\lab, what plant leaves for check

  // Nothing when a folder cannot be determined.
  static std::optional<Folders> Ask();
};

std::string Utf8(const std::wstring& text);

bool FileExists(const std::wstring& path);
// Writes the whole file, making its folder (and the folders above) first.
bool WriteFileMakingFolders(const std::wstring& path, const Bytes& bytes);

// Registry values of type REG_SZ; the key is made when missing.
bool SetStringValue(HKEY root, const std::wstring& subkey, const std::wstring& name,
                    const std::wstring& data);
// Nothing when the key or the value is missing or not a string.
std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& subkey,
                                            const std::wstring& name);
bool KeyExists(HKEY root, const std::wstring& subkey);

// An entry of win.ini or system.ini (written through the profile functions
// and flushed); reading answers nothing when the key is missing.
bool WriteIniEntry(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                   const std::wstring& value);
std::optional<std::wstring> ReadIniEntry(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key);

// The entries of an ini file as the profile functions read them (also those
// that the system keeps elsewhere, as Windows NT keeps win.ini's [windows] in
// the registry): "[section]" lines, each followed by its "key=value" lines;
// the file's sections first, then those of `moreSections` not among them.
std::vector<std::wstring> IniEntries(const std::wstring& file,
                                     const std::vector<std::wstring>& moreSections);

// Ids of the running processes whose executable is the file `path` (the
// first module's path, without regard to case): a program planted under the
// name of one of the system's own is told from the system's by its place.
std::vector<DWORD> ProcessesAt(const std::wstring& path);

}  // namespace lab
