#include "lab_system.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>

#include "common/text.h"
#include "tests/win32/sample_files.h"

namespace lab {
namespace {

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::optional<std::wstring> ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ||
      path[0] == 0) {
    return std::nullopt;
  }
  return std::wstring(path);
}

class Key {
 public:
  Key(HKEY root, const std::wstring& subkey, bool create) {
    const LONG status =
        create ? ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key_, nullptr)
               : ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key_);
    if (status != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::wstring> OtherDrives() {
  wchar_t strings[1024] = {};
  const DWORD length = ::GetLogicalDriveStringsW(1023, strings);
  if (length == 0 || length > 1023) return std::nullopt;
  std::wstring others;
  for (const wchar_t* root = strings; *root != 0; root += std::wcslen(root) + 1) {
    if ((root[0] == L'C' || root[0] == L'c') && root[1] == L':') continue;
    if (!others.empty()) others += L' ';
    others += std::wstring(root).substr(0, 2);
  }
  return others;
}

std::optional<Folders> Folders::Ask() {
  Folders folders;
  wchar_t path[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::nullopt;
  folders.windows = path;
  n = ::GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::nullopt;
  folders.system = path;
  const auto desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
  const auto programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
  if (!desktop || !programFiles) return std::nullopt;
  folders.desktop = *desktop;
  folders.programFiles = *programFiles;
  folders.own = FolderOf(qrt_test::Folder() + L"x");
  folders.state = folders.windows.substr(0, 2) + L"\\lab";
  return folders;
}

std::string Utf8(const std::wstring& text) {
  return text::ToUtf8(std::u16string(text.begin(), text.end()));
}

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteFileMakingFolders(const std::wstring& path, const Bytes& bytes) {
  const std::wstring folder = FolderOf(path);
  // Each folder from the drive's root down; those that exist stay.
  for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
       at = folder.find(L'\\', at + 1)) {
    ::CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return qrt_test::WriteWholeFile(path, bytes);
}

bool SetStringValue(HKEY root, const std::wstring& subkey, const std::wstring& name,
                    const std::wstring& data) {
  const Key key(root, subkey, true);
  return key.get() != nullptr &&
         ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadStringValue(HKEY root, const std::wstring& subkey,
                                            const std::wstring& name) {
  const Key key(root, subkey, false);
  if (key.get() == nullptr) return std::nullopt;
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return std::wstring(data);
}

bool KeyExists(HKEY root, const std::wstring& subkey) {
  return Key(root, subkey, false).get() != nullptr;
}

bool WriteIniEntry(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                   const std::wstring& value) {
  const bool written = ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                                    file.c_str()) != FALSE;
  ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());  // flush
  return written;
}

std::optional<std::wstring> ReadIniEntry(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key) {
  static constexpr wchar_t kMissing[] = L"<missing>";
  wchar_t value[1024] = {};
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), kMissing, value, 1024, file.c_str());
  if (std::wstring(value) == kMissing) return std::nullopt;
  return std::wstring(value);
}

std::vector<std::wstring> IniEntries(const std::wstring& file,
                                     const std::vector<std::wstring>& moreSections) {
  // Both answers are lists of strings each ended by a NUL, the list by
  // another NUL.
  const auto split = [](const std::vector<wchar_t>& buffer) {
    std::vector<std::wstring> strings;
    for (const wchar_t* s = buffer.data(); *s != 0; s += std::wcslen(s) + 1) strings.push_back(s);
    return strings;
  };
  std::vector<wchar_t> buffer(32768, L'\0');
  ::GetPrivateProfileSectionNamesW(buffer.data(), 32767, file.c_str());
  std::vector<std::wstring> sections = split(buffer);
  for (const std::wstring& section : moreSections) {
    if (std::find(sections.begin(), sections.end(), section) == sections.end()) {
      sections.push_back(section);
    }
  }
  std::vector<std::wstring> entries;
  for (const std::wstring& section : sections) {
    entries.push_back(L"[" + section + L"]");
    std::fill(buffer.begin(), buffer.end(), L'\0');
    ::GetPrivateProfileSectionW(section.c_str(), buffer.data(), 32766, file.c_str());
    for (const std::wstring& entry : split(buffer)) entries.push_back(entry);
  }
  return entries;
}

std::vector<DWORD> ProcessesAt(const std::wstring& path) {
  std::vector<DWORD> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (::lstrcmpiW(entry.szExeFile, name.c_str()) != 0) continue;
    HANDLE modules = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, entry.th32ProcessID);
    if (modules == INVALID_HANDLE_VALUE) continue;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    if (::Module32FirstW(modules, &module) && ::lstrcmpiW(module.szExePath, path.c_str()) == 0) {
      ids.push_back(entry.th32ProcessID);
    }
    ::CloseHandle(modules);
  }
  ::CloseHandle(snapshot);
  return ids;
}

}  // namespace lab
