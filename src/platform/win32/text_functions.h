// The inside of the text binding (text_api.h): the wide functions it binds,
// in one list that the binding, the entry points and the narrow adapters are
// generated from, and what the adapters share.
//
// The binding decides the family once: its table holds, for every function
// of QRT_ADAPTED_FUNCTIONS, either the wide function (NT family) or its
// narrow adapter (Windows 95/98/ME), and for every function of
// QRT_BOTH_FAMILY_FUNCTIONS the wide one, which those systems implement. Each
// entry point calls what the table holds. The adapters, in namespace
// `narrow`, take the parameters of the wide function and call the narrow one
// with text converted through the ANSI code page, one source per DLL
// (narrow_kernel32.cpp, narrow_version.cpp, narrow_advapi32.cpp,
// narrow_user32.cpp, narrow_gdi32.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/text_api.h"

namespace platform::win32::api {

// The wide functions with a narrow adapter: module, name, return type,
// failure value of a Windows 95/98/ME stub, parameter types.
#define QRT_ADAPTED_FUNCTIONS(X)                                                                   \
  X(kKernel32, CreateMutexW, HANDLE, nullptr, LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR)                \
  X(kKernel32, CreateFileW, HANDLE, INVALID_HANDLE_VALUE, LPCWSTR, DWORD, DWORD,                   \
    LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)                                                   \
  X(kKernel32, SetFileAttributesW, BOOL, FALSE, LPCWSTR, DWORD)                                    \
  X(kKernel32, GetFileAttributesW, DWORD, INVALID_FILE_ATTRIBUTES, LPCWSTR)                        \
  X(kKernel32, DeleteFileW, BOOL, FALSE, LPCWSTR)                                                  \
  X(kKernel32, CreateDirectoryW, BOOL, FALSE, LPCWSTR, LPSECURITY_ATTRIBUTES)                      \
  X(kKernel32, RemoveDirectoryW, BOOL, FALSE, LPCWSTR)                                             \
  X(kKernel32, MoveFileW, BOOL, FALSE, LPCWSTR, LPCWSTR)                                           \
  X(kKernel32, MoveFileExW, BOOL, FALSE, LPCWSTR, LPCWSTR, DWORD)                                  \
  X(kKernel32, CopyFileW, BOOL, FALSE, LPCWSTR, LPCWSTR, BOOL)                                     \
  X(kKernel32, GetDriveTypeW, UINT, DRIVE_UNKNOWN, LPCWSTR)                                        \
  X(kKernel32, GetLogicalDriveStringsW, DWORD, 0, DWORD, LPWSTR)                                   \
  X(kKernel32, FindFirstFileW, HANDLE, INVALID_HANDLE_VALUE, LPCWSTR, LPWIN32_FIND_DATAW)          \
  X(kKernel32, FindNextFileW, BOOL, FALSE, HANDLE, LPWIN32_FIND_DATAW)                             \
  X(kKernel32, GetModuleHandleW, HMODULE, nullptr, LPCWSTR)                                        \
  X(kKernel32, LoadLibraryW, HMODULE, nullptr, LPCWSTR)                                            \
  X(kKernel32, GetModuleFileNameW, DWORD, 0, HMODULE, LPWSTR, DWORD)                               \
  X(kKernel32, GetSystemDirectoryW, UINT, 0, LPWSTR, UINT)                                         \
  X(kKernel32, GetWindowsDirectoryW, UINT, 0, LPWSTR, UINT)                                        \
  X(kKernel32, GetTempPathW, DWORD, 0, DWORD, LPWSTR)                                              \
  X(kKernel32, GetShortPathNameW, DWORD, 0, LPCWSTR, LPWSTR, DWORD)                                \
  X(kKernel32, GetVersionExW, BOOL, FALSE, LPOSVERSIONINFOW)                                       \
  X(kKernel32, WritePrivateProfileStringW, BOOL, FALSE, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR)        \
  X(kKernel32, GetPrivateProfileSectionNamesW, DWORD, 0, LPWSTR, DWORD, LPCWSTR)                   \
  X(kKernel32, GetPrivateProfileSectionW, DWORD, 0, LPCWSTR, LPWSTR, DWORD, LPCWSTR)               \
  X(kVersion, GetFileVersionInfoSizeW, DWORD, 0, LPCWSTR, LPDWORD)                                 \
  X(kVersion, GetFileVersionInfoW, BOOL, FALSE, LPCWSTR, DWORD, DWORD, LPVOID)                     \
  X(kVersion, VerQueryValueW, BOOL, FALSE, LPCVOID, LPCWSTR, LPVOID*, PUINT)                       \
  X(kAdvapi32, LookupPrivilegeValueW, BOOL, FALSE, LPCWSTR, LPCWSTR, PLUID)                        \
  X(kAdvapi32, GetUserNameW, BOOL, FALSE, LPWSTR, LPDWORD)                                         \
  X(kAdvapi32, RegOpenKeyExW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR, DWORD, REGSAM,   \
    PHKEY)                                                                                         \
  X(kAdvapi32, RegCreateKeyExW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR, DWORD, LPWSTR, \
    DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)                                          \
  X(kAdvapi32, RegDeleteKeyW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR)                  \
  X(kAdvapi32, RegDeleteValueW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR)                \
  X(kAdvapi32, RegQueryValueExW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR, LPDWORD,      \
    LPDWORD, LPBYTE, LPDWORD)                                                                      \
  X(kAdvapi32, RegSetValueExW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPCWSTR, DWORD, DWORD,   \
    const BYTE*, DWORD)                                                                            \
  X(kAdvapi32, RegQueryInfoKeyW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, LPWSTR, LPDWORD,       \
    LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, PFILETIME)             \
  X(kAdvapi32, RegEnumValueW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, DWORD, LPWSTR, LPDWORD,   \
    LPDWORD, LPDWORD, LPBYTE, LPDWORD)                                                             \
  X(kAdvapi32, RegEnumKeyExW, LSTATUS, ERROR_CALL_NOT_IMPLEMENTED, HKEY, DWORD, LPWSTR, LPDWORD,   \
    LPDWORD, LPWSTR, LPDWORD, PFILETIME)                                                           \
  X(kUser32, LoadStringW, int, 0, HINSTANCE, UINT, LPWSTR, int)                                    \
  X(kUser32, SendMessageW, LRESULT, 0, HWND, UINT, WPARAM, LPARAM)                                 \
  X(kUser32, PostMessageW, BOOL, FALSE, HWND, UINT, WPARAM, LPARAM)                                \
  X(kUser32, SetWindowLongPtrW, LONG_PTR, 0, HWND, int, LONG_PTR)                                  \
  X(kUser32, GetWindowLongPtrW, LONG_PTR, 0, HWND, int)                                            \
  X(kUser32, LoadIconW, HICON, nullptr, HINSTANCE, LPCWSTR)                                        \
  X(kUser32, LoadImageW, HANDLE, nullptr, HINSTANCE, LPCWSTR, UINT, int, int, UINT)                \
  X(kUser32, CreateWindowExW, HWND, nullptr, DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int,   \
    HWND, HMENU, HINSTANCE, LPVOID)                                                                \
  X(kUser32, SetWindowTextW, BOOL, FALSE, HWND, LPCWSTR)                                           \
  X(kUser32, SetDlgItemTextW, BOOL, FALSE, HWND, int, LPCWSTR)                                     \
  X(kUser32, GetWindowTextW, int, 0, HWND, LPWSTR, int)                                            \
  X(kUser32, GetWindowTextLengthW, int, 0, HWND)                                                   \
  X(kUser32, DialogBoxParamW, INT_PTR, 0, HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM)               \
  X(kGdi32, CreateFontW, HFONT, nullptr, int, int, int, int, int, DWORD, DWORD, DWORD, DWORD,      \
    DWORD, DWORD, DWORD, DWORD, LPCWSTR)

// The wide functions that Windows 95/98/ME implement (they are in
// ImplementedOn9x), called on both families; columns as above.
#define QRT_BOTH_FAMILY_FUNCTIONS(X)                                     \
  X(kKernel32, GetCommandLineW, LPWSTR, nullptr)                         \
  X(kKernel32, FindResourceW, HRSRC, nullptr, HMODULE, LPCWSTR, LPCWSTR) \
  X(kUser32, MessageBoxW, int, 0, HWND, LPCWSTR, LPCWSTR, UINT)

#define QRT_WIDE_FUNCTIONS(X) QRT_ADAPTED_FUNCTIONS(X) QRT_BOTH_FAMILY_FUNCTIONS(X)

// Whether the entry points take the narrow path.
inline bool Narrow() { return CurrentFamily() == Family::kWindows9x; }

// String `id` of the module's string table, read from its block directly;
// nullopt when the block is missing or cut short.
std::optional<std::wstring_view> FindStringInTable(HINSTANCE instance, UINT id);

namespace narrow {

// The adapters, with the calling convention of the wide functions.
#define QRT_DECLARE_ADAPTER(module, name, R, failure, ...) R WINAPI name(__VA_ARGS__);
QRT_ADAPTED_FUNCTIONS(QRT_DECLARE_ADAPTER)
#undef QRT_DECLARE_ADAPTER

// --- Text in the ANSI code page (narrow_text.cpp) ---

// `length` bytes of ANSI text in UTF-16; empty when the conversion fails.
std::wstring FromAnsi(const char* text, std::size_t length);
// `text` in the ANSI code page; nullopt when a character has no exact form
// there (a default character or a best-fit mapping, which would name another
// file, key or window).
std::optional<std::string> ToAnsi(std::wstring_view text);

// A wide argument as the narrow function takes it: null stays null, a
// resource or atom number passes unchanged where `numbers` allows it, text is
// converted; ok() is false when it has no exact form.
class NarrowText {
 public:
  explicit NarrowText(LPCWSTR wide, bool numbers = false);
  bool ok() const { return ok_; }
  LPCSTR get() const { return isText_ ? text_.c_str() : number_; }

 private:
  LPCSTR number_ = nullptr;
  std::string text_;
  bool isText_ = false;
  bool ok_ = true;
};

// The failure of a call whose text has no form in the ANSI code page: the
// last error ERROR_NO_UNICODE_TRANSLATION and the function's `failure` value.
template <typename R>
R NoTranslation(R failure) {
  ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return failure;
}

// --- Windows and messages (narrow_user32.cpp) ---

// The whole text of a window, through the narrow functions.
std::wstring WindowText(HWND window);
// Whether the window's class name begins with `prefix` (ASCII, without
// regard to case).
bool ClassNameStartsWith(HWND window, std::string_view prefix);
// SendMessageA of `message` with the text at `text` converted.
LRESULT SendText(HWND window, UINT message, WPARAM wParam, LPARAM text);
// EM_SETCHARFORMAT with a CHARFORMATW or CHARFORMAT2W (by its size) as
// CHARFORMATA or CHARFORMAT2A.
LRESULT SendCharFormat(HWND window, WPARAM scope, LPARAM format);

}  // namespace narrow
}  // namespace platform::win32::api
