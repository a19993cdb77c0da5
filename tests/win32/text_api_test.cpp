// The text binding of the Win32 backend (platform::win32::api) against the
// real system, under Wine.
//
// TextApi runs every entry point on the wide path and on the narrow path
// (forced on the NT system that Wine reports by default) and compares what
// they answer. WineWin98Stubs runs only under Wine's win98 setting with
// QRT_WIN9X_STUBS=1 (ctest entry win32-win98-stubs): the wide functions are
// then stubs as on Windows 98, and the same checks must pass through the
// narrow path. The plain run excludes it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which they need.
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/string_table.h"
#include "common/text.h"
#include "platform/win32/text_api.h"
#include "resource_ids.h"

namespace {

namespace api = platform::win32::api;
using api::Family;

constexpr Family kBothPaths[] = {Family::kNt, Family::kWindows9x};

const char* PathName(Family family) { return family == Family::kNt ? "wide path" : "narrow path"; }

bool OnNarrowPath() { return api::CurrentFamily() == Family::kWindows9x; }

// Takes the path of `family` while it lives.
class OnPath {
 public:
  explicit OnPath(Family family) { api::ForceFamilyForTests(family); }
  ~OnPath() { api::ForceFamilyForTests(std::nullopt); }
  OnPath(const OnPath&) = delete;
  OnPath& operator=(const OnPath&) = delete;
};

std::wstring FromAnsi(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return out;
}

std::string ToAnsi(const std::wstring& text) {
  std::string out(text.size() * 2, '\0');
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return out;
}

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring Unique() {
  return std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(static_cast<int>(api::CurrentFamily()));
}

// Names that the ANSI code page (1252 under Wine) cannot carry: one with no
// mapping at all, one that a best-fit mapping would turn into "Ab.txt".
const std::wstring kUnrepresentable[] = {L"\u4E2D.txt", L"\u0100b.txt"};

// A scratch folder of this test program, emptied and removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    ansi_ = std::string(temp) + "qrt_text_api_" + std::to_string(::GetCurrentProcessId()) + "\\";
    // Wine gives process ids again: a folder left by an earlier run goes.
    Empty();
    ::CreateDirectoryA(ansi_.c_str(), nullptr);
  }
  ~ScratchFolder() { Empty(); }
  // Deletes the files by their wide names, which the narrow ones may not
  // carry.
  void Empty() const {
    const std::wstring folder = wide();
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring path = folder + found.cFileName;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(ansi_.c_str());
  }
  const std::string& ansi() const { return ansi_; }
  std::wstring wide() const { return FromAnsi(ansi_); }
  // The names of the files in the folder, as the narrow functions see them.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((ansi_ + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return names;
  }

 private:
  std::string ansi_;
};

// --- Checks that hold on either path, against what the narrow functions or
// the resources say ---

void CheckFiles(const ScratchFolder& folder) {
  const std::wstring cafe = folder.wide() + L"caf\u00e9.txt";
  const std::wstring copy = folder.wide() + L"copi\u00e9.txt";
  const std::wstring moved = folder.wide() + L"d\u00e9plac\u00e9.txt";
  HANDLE file = api::CreateFileW(cafe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(::WriteFile(file, "data", 4, &written, nullptr));
  ::CloseHandle(file);
  // The narrow functions see the same name.
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"caf\xe9.txt"});

  EXPECT_TRUE(api::SetFileAttributesW(cafe.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(::GetFileAttributesA((folder.ansi() + "caf\xe9.txt").c_str()) &
              FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(api::GetFileAttributesW(cafe.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(api::SetFileAttributesW(cafe.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(api::CopyFileW(cafe.c_str(), copy.c_str(), TRUE));
  EXPECT_FALSE(api::CopyFileW(cafe.c_str(), copy.c_str(), TRUE));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(api::MoveFileW(copy.c_str(), moved.c_str()));
  EXPECT_TRUE(api::MoveFileExW(moved.c_str(), cafe.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"caf\xe9.txt"});

  // The listing gives the name as it was written, and the size.
  WIN32_FIND_DATAW found{};
  HANDLE search = api::FindFirstFileW((folder.wide() + L"*.*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::wstring> listed;
  do {
    listed.emplace_back(found.cFileName);
    if (listed.back() == L"caf\u00e9.txt") {
      EXPECT_EQ(found.nFileSizeLow, 4u);
    }
  } while (api::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::wstring>{L".", L"..", L"caf\u00e9.txt"}));
  EXPECT_EQ(api::FindFirstFileW((folder.wide() + L"none\\*.*").c_str(), &found),
            INVALID_HANDLE_VALUE);
  // "C:\", each root ended by a zero, and a last zero.
  wchar_t roots[1023] = {};
  const DWORD length = api::GetLogicalDriveStringsW(1023, roots);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, 1023u);
  EXPECT_EQ(std::wstring(roots, 4), std::wstring(L"C:\\\0", 4));
  EXPECT_EQ(roots[length], L'\0');
  EXPECT_EQ(roots[length - 1], L'\0');

  EXPECT_TRUE(api::DeleteFileW(cafe.c_str()));
  EXPECT_FALSE(api::DeleteFileW(cafe.c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(api::GetFileAttributesW(cafe.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(api::GetDriveTypeW(L"C:\\"), static_cast<UINT>(DRIVE_FIXED));
}

void CheckUnrepresentableFileNames(const ScratchFolder& folder) {
  for (const std::wstring& name : kUnrepresentable) {
    const std::wstring path = folder.wide() + name;
    ::SetLastError(NO_ERROR);
    HANDLE file = api::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (OnNarrowPath()) {
      EXPECT_EQ(file, INVALID_HANDLE_VALUE) << ToAnsi(name);
      if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
      EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
      EXPECT_EQ(api::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
      EXPECT_FALSE(api::DeleteFileW(path.c_str()));
      EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    } else {
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << ToAnsi(name);
      ::CloseHandle(file);
      EXPECT_TRUE(api::DeleteFileW(path.c_str()));
    }
  }
  // No file under a neighbouring name either.
  EXPECT_TRUE(folder.Files().empty());
}

void CheckMutex() {
  const std::wstring name = L"QRT_TEXT_API_caf\u00e9_" + Unique();
  HANDLE first = api::CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // The narrow function names the same object.
  HANDLE second = ::CreateMutexA(nullptr, FALSE, ToAnsi(name).c_str());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ::CloseHandle(second);
  ::CloseHandle(first);

  const std::wstring foreign = L"QRT_TEXT_API_\u4E2D_" + Unique();
  HANDLE other = api::CreateMutexW(nullptr, FALSE, foreign.c_str());
  if (OnNarrowPath()) {
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  } else {
    EXPECT_NE(other, nullptr);
    ::CloseHandle(other);
  }
}

void CheckFoldersAndModules() {
  char narrow[MAX_PATH + 1] = {};
  wchar_t wide[MAX_PATH + 1] = {};
  ::GetSystemDirectoryA(narrow, MAX_PATH);
  EXPECT_EQ(api::GetSystemDirectoryW(wide, MAX_PATH), FromAnsi(narrow).size());
  EXPECT_EQ(std::wstring(wide), FromAnsi(narrow));
  ::GetWindowsDirectoryA(narrow, MAX_PATH);
  EXPECT_EQ(api::GetWindowsDirectoryW(wide, MAX_PATH), FromAnsi(narrow).size());
  EXPECT_EQ(std::wstring(wide), FromAnsi(narrow));
  ::GetTempPathA(MAX_PATH, narrow);
  EXPECT_EQ(api::GetTempPathW(MAX_PATH, wide), FromAnsi(narrow).size());
  EXPECT_EQ(std::wstring(wide), FromAnsi(narrow));

  ::GetModuleFileNameA(nullptr, narrow, MAX_PATH);
  EXPECT_EQ(api::GetModuleFileNameW(nullptr, wide, MAX_PATH), FromAnsi(narrow).size());
  EXPECT_EQ(std::wstring(wide), FromAnsi(narrow));
  EXPECT_TRUE(text::EndsWithNoCase(std::u16string(wide, wide + std::wcslen(wide)),
                                   u"\\qrt_win32_tests.exe"));

  EXPECT_EQ(api::GetModuleHandleW(nullptr), ::GetModuleHandleA(nullptr));
  EXPECT_EQ(api::GetModuleHandleW(L"kernel32.dll"), ::GetModuleHandleA("kernel32.dll"));
  EXPECT_EQ(api::GetModuleHandleW(L"NoSuchModule.dll"), nullptr);
  HMODULE riched = api::LoadLibraryW(L"RICHED20.DLL");
  EXPECT_NE(riched, nullptr);
  ::FreeLibrary(riched);
  EXPECT_EQ(api::LoadLibraryW(L"NoSuchLibrary.dll"), nullptr);
}

void CheckStringTable() {
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  for (const strings::Entry& entry : strings::Table()) {
    EXPECT_EQ(api::LoadStringText(module, entry.id), std::u16string(entry.text)) << entry.id;
    wchar_t buffer[1024];
    const int n = api::LoadStringW(module, entry.id, buffer, 1024);
    EXPECT_EQ(std::wstring(buffer, static_cast<std::size_t>(n)), W(entry.text)) << entry.id;
  }
  EXPECT_FALSE(api::LoadStringText(module, 29).has_value());
  wchar_t buffer[8] = L"x";
  EXPECT_EQ(api::LoadStringW(module, 29, buffer, 8), 0);
}

void CheckVersion() {
  OSVERSIONINFOA narrow{};
  narrow.dwOSVersionInfoSize = sizeof narrow;
  ASSERT_TRUE(::GetVersionExA(&narrow));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(api::GetVersionExW(&info));
  EXPECT_EQ(info.dwPlatformId, narrow.dwPlatformId);
  EXPECT_EQ(info.dwMajorVersion, narrow.dwMajorVersion);
  EXPECT_EQ(info.dwMinorVersion, narrow.dwMinorVersion);
  EXPECT_EQ(info.dwBuildNumber, narrow.dwBuildNumber);
  EXPECT_EQ(std::wstring(info.szCSDVersion), FromAnsi(narrow.szCSDVersion));

  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(api::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, narrow.dwMajorVersion);

  OSVERSIONINFOW wrongSize{};
  wrongSize.dwOSVersionInfoSize = sizeof wrongSize - 4;
  EXPECT_FALSE(api::GetVersionExW(&wrongSize));
}

std::wstring ValueText(const void* value, UINT length) {
  const std::wstring text(static_cast<const wchar_t*>(value), length);
  return text.substr(0, text.find(L'\0'));
}

void CheckVersionResource() {
  wchar_t path[MAX_PATH + 1] = {};
  ASSERT_GT(api::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD handle = 1;
  const DWORD size = api::GetFileVersionInfoSizeW(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(api::GetFileVersionInfoW(path, handle, size, block.data()));
  const auto inBlock = [&](const void* value, std::size_t bytes) {
    const auto* at = static_cast<const BYTE*>(value);
    return at >= block.data() && at + bytes <= block.data() + block.size();
  };

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(api::VerQueryValueW(block.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  ASSERT_TRUE(inBlock(value, length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00010010u);

  ASSERT_TRUE(api::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);

  const struct {
    const wchar_t* subBlock;
    const wchar_t* text;
  } kTexts[] = {
      {L"\\StringFileInfo\\040904B0\\FileVersion", L"3, 0, 1, 16"},
      {L"\\StringFileInfo\\040904b0\\productname", L"Quelvix Removal Tool"},
      {L"StringFileInfo\\040904B0\\CompanyName", L"Quelvix"},
  };
  for (const auto& expected : kTexts) {
    ASSERT_TRUE(api::VerQueryValueW(block.data(), expected.subBlock, &value, &length))
        << ToAnsi(expected.subBlock);
    EXPECT_TRUE(inBlock(value, length * sizeof(wchar_t)));
    EXPECT_EQ(ValueText(value, length), expected.text);
  }
  EXPECT_FALSE(api::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\NoSuchValue", &value,
                                   &length));
  EXPECT_FALSE(api::VerQueryValueW(block.data(), L"\\StringFileInfo\\0407", &value, &length));

  const std::wstring foreign = std::wstring(path) + L"\u4E2D";
  if (OnNarrowPath()) {
    EXPECT_EQ(api::GetFileVersionInfoSizeW(foreign.c_str(), &handle), 0u);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
}

void CheckPrivilege() {
  LUID expected{};
  ASSERT_TRUE(::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &expected));
  LUID luid{};
  ASSERT_TRUE(api::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid));
  EXPECT_EQ(luid.LowPart, expected.LowPart);
  EXPECT_EQ(luid.HighPart, expected.HighPart);
  EXPECT_FALSE(api::LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &luid));
}

void CheckUserName() {
  char narrow[258] = {};
  DWORD narrowSize = sizeof narrow;
  ASSERT_TRUE(::GetUserNameA(narrow, &narrowSize));
  wchar_t wide[258] = {};
  DWORD size = 258;
  ASSERT_TRUE(api::GetUserNameW(wide, &size));
  EXPECT_EQ(std::wstring(wide), FromAnsi(narrow));
  EXPECT_EQ(size, FromAnsi(narrow).size() + 1);
}

void CheckRegistryAndProfile(const ScratchFolder& folder) {
  const std::wstring parent = L"Software\\QRT-TextApiTest-" + Unique();
  const std::wstring child = parent + L"\\Cl\u00e9";
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(api::RegCreateKeyExW(HKEY_CURRENT_USER, child.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ::RegCloseKey(key);
  // The narrow functions find it under the same name.
  HKEY opened = nullptr;
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, ToAnsi(child).c_str(), 0, KEY_READ, &opened),
            ERROR_SUCCESS);
  ::RegCloseKey(opened);
  ASSERT_EQ(api::RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(api::RegDeleteValueW(key, L"N\u00e9ant"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api::RegDeleteKeyW(key, L"Cl\u00e9"), ERROR_SUCCESS);
  EXPECT_EQ(api::RegOpenKeyExW(key, L"Cl\u00e9", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
  const LSTATUS foreign = api::RegOpenKeyExW(key, L"\u4E2D", 0, KEY_READ, &opened);
  EXPECT_EQ(foreign, OnNarrowPath() ? ERROR_NO_UNICODE_TRANSLATION : ERROR_FILE_NOT_FOUND);
  ::RegCloseKey(key);
  EXPECT_EQ(::RegDeleteKeyA(HKEY_CURRENT_USER, ToAnsi(parent).c_str()), ERROR_SUCCESS);

  const std::wstring ini = folder.wide() + L"r\u00e9glages.ini";
  EXPECT_TRUE(
      api::WritePrivateProfileStringW(L"Secti\u00f3n", L"K\u00e9y", L"v\u00e4lue", ini.c_str()));
  char value[32] = {};
  ::GetPrivateProfileStringA("Secti\xf3n", "K\xe9y", "", value, sizeof value,
                             (folder.ansi() + "r\xe9glages.ini").c_str());
  EXPECT_STREQ(value, "v\xe4lue");
  ASSERT_TRUE(api::WritePrivateProfileStringW(L"Other", L"a", L"b", ini.c_str()));
  wchar_t list[64] = {};
  const DWORD names = api::GetPrivateProfileSectionNamesW(list, 64, ini.c_str());
  EXPECT_EQ(std::wstring(list, names), std::wstring(L"Secti\u00f3n\0Other\0", 14));
  const DWORD lines = api::GetPrivateProfileSectionW(L"SECTI\u00f3N", list, 64, ini.c_str());
  EXPECT_EQ(std::wstring(list, lines), std::wstring(L"K\u00e9y=v\u00e4lue\0", 10));
  EXPECT_EQ(api::GetPrivateProfileSectionW(L"\u4E2D", list, 64, ini.c_str()), 0u);
  ::DeleteFileA((folder.ansi() + "r\xe9glages.ini").c_str());
}

// --- A dialog with its controls, run through the binding ---

constexpr UINT kProbe = WM_APP + 1;

struct DialogProbe {
  bool userPointerKept = false;
  bool unicodeDialog = false;
  std::wstring title;
  int titleLength = 0;
  std::wstring titleCut;
  int titleCutLength = 0;
  BOOL foreignTitle = FALSE;
  std::wstring buttonText;
  std::u16string richText;
  int richLength = 0;
  CHARFORMAT2W format{};
  std::wstring statusText;
  bool iconsLoaded = false;
  bool fontMade = false;
};

std::wstring StatusText(HWND bar, int part) {
  wchar_t text[64] = {};
  ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
  return text;
}

void RunProbe(HWND dialog, DialogProbe& probe) {
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  probe.unicodeDialog = ::IsWindowUnicode(dialog) != FALSE;
  api::SetWindowTextW(dialog, L"Caf\u00e9 cr\u00e8me");
  probe.title = W(api::WindowText(dialog));
  probe.titleLength = api::GetWindowTextLengthW(dialog);
  wchar_t cut[8] = L"-------";
  probe.titleCutLength = api::GetWindowTextW(dialog, cut, 5);
  probe.titleCut.assign(cut, 7);
  probe.foreignTitle = api::SetWindowTextW(dialog, L"\u4E2D");
  api::SetDlgItemTextW(dialog, QRT_IDC_START, L"D\u00e9marrer");
  probe.buttonText = W(api::WindowText(::GetDlgItem(dialog, QRT_IDC_START)));

  HWND output = ::GetDlgItem(dialog, QRT_IDC_OUTPUT);
  CHARFORMAT2W bold{};
  bold.cbSize = sizeof bold;
  bold.dwMask = CFM_BOLD | CFM_COLOR | CFM_FACE;
  bold.dwEffects = CFE_BOLD;
  bold.crTextColor = RGB(255, 0, 0);
  std::wcscpy(bold.szFaceName, L"Tahoma");
  api::SetRichEditCharFormat(output, SCF_SELECTION, bold);
  // Text outside the ANSI code page stays whole on both paths.
  api::ReplaceRichEditSelection(output, L"Gr\u00fc\u00dfe \u4E2D\u6587\r\n", FALSE);
  api::SendMessageW(output, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"+\u00e9"));
  probe.richText = api::RichEditText(output);
  probe.richLength = api::RichEditTextLength(output);
  CHARRANGE first{0, 1};
  api::SendMessageW(output, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
  probe.format.cbSize = sizeof probe.format;
  ::SendMessageW(output, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&probe.format));

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  HWND bar = api::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0,
                                  0, 0, 0, dialog, reinterpret_cast<HMENU>(101), module, nullptr);
  if (bar != nullptr) {
    int edges[] = {100, -1};
    api::SendMessageW(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    api::SetStatusBarText(bar, 0, 0, L"Pr\u00eat");
    api::SendMessageW(bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"\u00e0 12:00"));
    probe.statusText = StatusText(bar, 0) + L"|" + StatusText(bar, 1);
  }

  probe.iconsLoaded = api::LoadIconW(module, MAKEINTRESOURCEW(QRT_IDI_MAIN)) != nullptr &&
                      api::LoadIconW(nullptr, MAKEINTRESOURCEW(32515)) != nullptr;
  HANDLE small = api::LoadImageW(module, MAKEINTRESOURCEW(QRT_IDI_MAIN), IMAGE_ICON, 16, 16, 0);
  probe.iconsLoaded = probe.iconsLoaded && small != nullptr;
  if (small != nullptr) ::DestroyIcon(static_cast<HICON>(small));
  HFONT font = api::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  probe.fontMade = font != nullptr;
  if (font != nullptr) ::DeleteObject(font);
}

INT_PTR CALLBACK ProbeProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    api::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    api::PostMessageW(dialog, kProbe, 5, 0);
    return TRUE;
  }
  if (message == kProbe) {
    auto* probe = reinterpret_cast<DialogProbe*>(api::GetWindowLongPtrW(dialog, DWLP_USER));
    if (probe == nullptr) return FALSE;
    probe->userPointerKept = wParam == 5;
    RunProbe(dialog, *probe);
    ::EndDialog(dialog, 42);
    return TRUE;
  }
  return FALSE;
}

void CheckDialog() {
  HMODULE riched = ::LoadLibraryA("RICHED20.DLL");
  ASSERT_NE(riched, nullptr);
  DialogProbe probe;
  EXPECT_EQ(api::DialogBoxParamW(::GetModuleHandleA(nullptr), MAKEINTRESOURCEW(QRT_IDD_MAIN),
                                 nullptr, &ProbeProcedure, reinterpret_cast<LPARAM>(&probe)),
            42);
  EXPECT_EQ(api::DialogBoxParamW(::GetModuleHandleA(nullptr), MAKEINTRESOURCEW(4242), nullptr,
                                 &ProbeProcedure, reinterpret_cast<LPARAM>(&probe)),
            -1);
  ::FreeLibrary(riched);

  EXPECT_TRUE(probe.userPointerKept);
  // The narrow path makes a narrow dialog. (Wine's status bar class is wide
  // whichever function creates the window: its text is checked instead.)
  EXPECT_EQ(probe.unicodeDialog, !OnNarrowPath());
  EXPECT_EQ(probe.title, L"Caf\u00e9 cr\u00e8me");
  EXPECT_EQ(probe.titleLength, 10);
  EXPECT_EQ(probe.titleCutLength, 4);
  EXPECT_EQ(probe.titleCut, std::wstring(L"Caf\u00e9\0--", 7));
  EXPECT_EQ(probe.foreignTitle, OnNarrowPath() ? FALSE : TRUE);
  EXPECT_EQ(probe.buttonText, L"D\u00e9marrer");
  EXPECT_EQ(probe.richText, u"Gr\u00fc\u00dfe \u4E2D\u6587\r+\u00e9");
  EXPECT_EQ(probe.richLength, 11);
  EXPECT_TRUE(probe.format.dwEffects & CFE_BOLD);
  EXPECT_EQ(probe.format.crTextColor, RGB(255, 0, 0));
  EXPECT_EQ(std::wstring(probe.format.szFaceName), L"Tahoma");
  EXPECT_EQ(probe.statusText, L"Pr\u00eat|\u00e0 12:00");
  EXPECT_TRUE(probe.iconsLoaded);
  EXPECT_TRUE(probe.fontMade);
}

// Every check of the narrow path that needs no wide function for comparison.
const struct {
  const char* name;
  std::function<void(const ScratchFolder&)> check;
} kChecks[] = {
    {"files", CheckFiles},
    {"unrepresentable file names", CheckUnrepresentableFileNames},
    {"mutex", [](const ScratchFolder&) { CheckMutex(); }},
    {"folders and modules", [](const ScratchFolder&) { CheckFoldersAndModules(); }},
    {"string table", [](const ScratchFolder&) { CheckStringTable(); }},
    {"version", [](const ScratchFolder&) { CheckVersion(); }},
    {"version resource", [](const ScratchFolder&) { CheckVersionResource(); }},
    {"privilege", [](const ScratchFolder&) { CheckPrivilege(); }},
    {"user name", [](const ScratchFolder&) { CheckUserName(); }},
    {"registry and profile", CheckRegistryAndProfile},
};

TEST(TextApi, EveryEntryPointOnBothPaths) {
  ASSERT_EQ(::GetACP(), 1252u) << "the cases assume the Western code page";
  ScratchFolder folder;
  for (const Family family : kBothPaths) {
    OnPath path(family);
    for (const auto& check : kChecks) {
      SCOPED_TRACE(std::string(PathName(family)) + ": " + check.name);
      check.check(folder);
    }
  }
}

TEST(TextApi, DialogOnBothPaths) {
  for (const Family family : kBothPaths) {
    OnPath path(family);
    SCOPED_TRACE(PathName(family));
    CheckDialog();
  }
}

// --- Buffers: the narrow path answers as the wide function does ---

struct Answer {
  DWORD result;
  std::wstring buffer;  // the whole buffer, sentinels included
  DWORD lastError;
  bool operator==(const Answer&) const = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "result " << answer.result << ", error " << answer.lastError << ", buffer \""
       << text::ToUtf8(std::u16string(answer.buffer.begin(), answer.buffer.end())) << "\"";
}

using BufferCall = std::function<DWORD(wchar_t* buffer, DWORD size)>;

// Calls `call` with a buffer of `size` characters inside a larger one
// filled with '#'.
Answer Call(const BufferCall& call, DWORD size) {
  std::wstring buffer(size + 4, L'#');
  ::SetLastError(0xBEEF);
  const DWORD result = call(buffer.data(), size);
  return Answer{result, buffer, ::GetLastError()};
}

TEST(TextApi, BufferEdgesAnswerAsTheWideFunction) {
  // A profile file with two sections for the lists of the profile functions.
  const ScratchFolder folder;
  const std::wstring ini = folder.wide() + L"edges.ini";
  ASSERT_TRUE(::WritePrivateProfileStringW(L"S\u00e9ction", L"k\u00e9y", L"v", ini.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringW(L"S\u00e9ction", L"key2", L"value 2", ini.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringW(L"Other", L"a", L"b", ini.c_str()));
  const struct {
    const char* name;
    BufferCall call;
    bool comparesError;
  } kCalls[] = {
      {"GetSystemDirectoryW", [](wchar_t* b, DWORD n) { return api::GetSystemDirectoryW(b, n); },
       false},
      {"GetWindowsDirectoryW", [](wchar_t* b, DWORD n) { return api::GetWindowsDirectoryW(b, n); },
       false},
      {"GetTempPathW", [](wchar_t* b, DWORD n) { return api::GetTempPathW(n, b); }, false},
      // The scratch folder's name is long: the short form differs.
      {"GetShortPathNameW",
       [&](wchar_t* b, DWORD n) { return api::GetShortPathNameW(ini.c_str(), b, n); }, false},
      {"GetModuleFileNameW",
       [](wchar_t* b, DWORD n) { return api::GetModuleFileNameW(nullptr, b, n); }, true},
      // The size with the zero, its high bit set when the call fails.
      {"GetUserNameW",
       [](wchar_t* b, DWORD n) {
         DWORD size = n;
         return api::GetUserNameW(b, &size) ? size : 0x80000000u | size;
       },
       true},
      {"LoadStringW",
       [](wchar_t* b, DWORD n) {
         // The longest text of the table.
         std::uint32_t id = 0;
         std::size_t longest = 0;
         for (const strings::Entry& entry : strings::Table()) {
           if (std::u16string_view(entry.text).size() > longest) {
             longest = std::u16string_view(entry.text).size();
             id = entry.id;
           }
         }
         return static_cast<DWORD>(
             api::LoadStringW(::GetModuleHandleA(nullptr), id, b, static_cast<int>(n)));
       },
       false},
      {"GetPrivateProfileSectionNamesW",
       [&](wchar_t* b, DWORD n) { return api::GetPrivateProfileSectionNamesW(b, n, ini.c_str()); },
       false},
      {"GetPrivateProfileSectionW",
       [&](wchar_t* b, DWORD n) {
         return api::GetPrivateProfileSectionW(L"s\u00e9CTION", b, n, ini.c_str());
       },
       false},
  };
  for (const auto& call : kCalls) {
    DWORD length = 0;
    {
      OnPath path(Family::kNt);
      std::wstring full(4096, L'\0');
      length = call.call(full.data(), static_cast<DWORD>(full.size()));
      ASSERT_GT(length, 1u) << call.name;
    }
    for (const DWORD size : {1ul, length - 1, length, length + 1, length + 2}) {
      // A profile list in one character: Wine's GetPrivateProfileSectionW
      // answers size - 2 wrapped around; the program never offers so little.
      if (size == 1 && std::string_view(call.name).starts_with("GetPrivateProfile")) continue;
      SCOPED_TRACE(std::string(call.name) + " with room for " + std::to_string(size));
      Answer wide;
      Answer narrow;
      {
        OnPath path(Family::kNt);
        wide = Call(call.call, size);
      }
      {
        OnPath path(Family::kWindows9x);
        narrow = Call(call.call, size);
      }
      if (!call.comparesError) wide.lastError = narrow.lastError = 0;
      EXPECT_EQ(narrow, wide);
    }
  }
}

TEST(TextApi, LoadStringWithoutBufferAnswersThePointerOnBothPaths) {
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  const strings::Entry& entry = strings::Table().front();
  for (const Family family : kBothPaths) {
    OnPath path(family);
    SCOPED_TRACE(PathName(family));
    const wchar_t* text = nullptr;
    const int n = api::LoadStringW(module, entry.id, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text, static_cast<std::size_t>(n)), W(entry.text));
  }
}

TEST(TextApi, VersionResourceAnswersMatch) {
  wchar_t path[MAX_PATH + 1] = {};
  ASSERT_GT(api::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const wchar_t* const kSubBlocks[] = {
      L"\\", L"\\VarFileInfo\\Translation", L"\\StringFileInfo\\040904B0\\FileVersion",
      L"\\StringFileInfo\\040904B0\\LegalCopyright", L"\\StringFileInfo"};
  std::vector<std::vector<std::pair<bool, std::string>>> answers;
  for (const Family family : kBothPaths) {
    OnPath onPath(family);
    DWORD handle = 0;
    std::vector<BYTE> block(api::GetFileVersionInfoSizeW(path, &handle));
    ASSERT_TRUE(
        api::GetFileVersionInfoW(path, handle, static_cast<DWORD>(block.size()), block.data()));
    auto& answer = answers.emplace_back();
    for (const wchar_t* subBlock : kSubBlocks) {
      void* value = nullptr;
      UINT length = 0;
      const bool found = api::VerQueryValueW(block.data(), subBlock, &value, &length) != FALSE;
      // The length as reported, and the value's offset in the block.
      answer.emplace_back(found, std::to_string(length) + "@" +
                                     std::to_string(static_cast<BYTE*>(value) - block.data()));
    }
  }
  EXPECT_EQ(answers[1], answers[0]);
}

// --- Wine's win98 setting with the stubs of Windows 98 ---

// The import slot of CreateSemaphoreW that the program supplies for the
// compiler's runtime: unnamed semaphores come from CreateSemaphoreA (also
// where the wide function is a stub), names are refused.
TEST(RuntimeImports, CreateSemaphoreWSlotMakesUnnamedSemaphoresNarrowly) {
  HANDLE(WINAPI* const slot)
  (LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR) =
      ::CreateSemaphoreW;  // through the import slot, as the runtime calls it
  HANDLE semaphore = slot(nullptr, 0, 1, nullptr);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(::WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(::ReleaseSemaphore(semaphore, 1, nullptr));
  EXPECT_EQ(::WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ::CloseHandle(semaphore);

  ::SetLastError(0);
  EXPECT_EQ(slot(nullptr, 0, 1, L"QRT named semaphore"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WineWin98Stubs, WideFunctionsAreStubsOutsideTheImplementedList) {
  ASSERT_NE(::GetVersion() & 0x80000000u, 0u) << "run under Wine's win98 setting";
  ASSERT_TRUE(api::StubsBoundForTests()) << "run with QRT_WIN9X_STUBS=1";
  EXPECT_EQ(api::CurrentFamily(), Family::kWindows9x);

  const char* const kModules[] = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL",
                                  "VERSION.DLL"};
  for (const std::string_view name : api::WideFunctionNamesForTests()) {
    FARPROC real = nullptr;
    for (const char* module : kModules) {
      HMODULE loaded = ::LoadLibraryA(module);
      if (real == nullptr) real = ::GetProcAddress(loaded, std::string(name).c_str());
    }
    ASSERT_NE(real, nullptr) << name;
    if (api::IsImplementedOn9x(name)) {
      EXPECT_EQ(api::BoundWideFunctionForTests(name), real) << name;
    } else {
      EXPECT_NE(api::BoundWideFunctionForTests(name), real) << name;
    }
  }

  // A stub fails as Windows 98's do.
  using CreateMutexFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
  using CreateFileFunction =
      HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  using GetVersionExFunction = BOOL(WINAPI*)(LPOSVERSIONINFOW);
  using RegOpenKeyExFunction = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
  const auto bound = [](const char* name) {
    return reinterpret_cast<void (*)()>(api::BoundWideFunctionForTests(name));
  };
  ::SetLastError(NO_ERROR);
  EXPECT_EQ(reinterpret_cast<CreateMutexFunction>(bound("CreateMutexW"))(nullptr, FALSE, L"m"),
            nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  ::SetLastError(NO_ERROR);
  EXPECT_EQ(reinterpret_cast<CreateFileFunction>(bound("CreateFileW"))(
                L"C:\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ::SetLastError(NO_ERROR);
  EXPECT_FALSE(reinterpret_cast<GetVersionExFunction>(bound("GetVersionExW"))(&info));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  HKEY key = nullptr;
  EXPECT_EQ(reinterpret_cast<RegOpenKeyExFunction>(bound("RegOpenKeyExW"))(
                HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key),
            ERROR_CALL_NOT_IMPLEMENTED);

  // Forced onto the wide path, the entry points fail as the program did.
  OnPath path(Family::kNt);
  ::SetLastError(NO_ERROR);
  EXPECT_EQ(api::CreateMutexW(nullptr, TRUE, L"QRT_TEXT_API_STUB"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

// Without QRT_WIN9X_STUBS the switch changes nothing, also on a system of
// the 9x family (ctest entry win32-win98, Wine's win98 setting): every wide
// function is bound to the system's own export, and the family is the
// system's.
TEST(WineWin98, WithoutTheSwitchNothingIsStubbed) {
  ASSERT_NE(::GetVersion() & 0x80000000u, 0u) << "run under Wine's win98 setting";
  char mode[16] = {};
  ASSERT_EQ(::GetEnvironmentVariableA("QRT_WIN9X_STUBS", mode, sizeof mode), 0u)
      << "run without QRT_WIN9X_STUBS";
  EXPECT_FALSE(api::StubsBoundForTests());
  EXPECT_EQ(api::CurrentFamily(), Family::kWindows9x);
  const char* const kModules[] = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL",
                                  "VERSION.DLL"};
  // The export of the DLL the binding takes it from (a registry function is
  // exported by KERNEL32 as well as ADVAPI32).
  for (const std::string_view name : api::WideFunctionNamesForTests()) {
    std::vector<FARPROC> exports;
    for (const char* module : kModules) {
      if (FARPROC real = ::GetProcAddress(::LoadLibraryA(module), std::string(name).c_str())) {
        exports.push_back(real);
      }
    }
    ASSERT_FALSE(exports.empty()) << name;
    EXPECT_NE(std::find(exports.begin(), exports.end(), api::BoundWideFunctionForTests(name)),
              exports.end())
        << name;
  }
}

TEST(WineWin98Stubs, EveryEntryPointWorksThroughTheNarrowPath) {
  ASSERT_TRUE(api::StubsBoundForTests()) << "run under Wine's win98 setting with QRT_WIN9X_STUBS=1";
  ASSERT_EQ(api::CurrentFamily(), Family::kWindows9x);
  ScratchFolder folder;
  for (const auto& check : kChecks) {
    SCOPED_TRACE(check.name);
    check.check(folder);
  }
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(api::GetVersionExW(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_EQ(info.dwMajorVersion, 4u);
}

TEST(WineWin98Stubs, DialogWorksThroughTheNarrowPath) {
  ASSERT_TRUE(api::StubsBoundForTests());
  CheckDialog();
}

}  // namespace
