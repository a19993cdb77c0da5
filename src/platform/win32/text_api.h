// The text-taking system calls of the Win32 backend, for both families of
// Windows.
//
// On the NT family (NT 4, 2000, XP) every entry point calls the wide function
// of the same name. On Windows 95/98/ME most wide functions are stubs that
// fail with ERROR_CALL_NOT_IMPLEMENTED: there the entry points call the narrow
// function instead, with text converted to and from the ANSI code page
// (CP_ACP), and give back what the wide function would: lengths in UTF-16
// characters, the same truncation and terminating zero, the same return
// values. A text that has no exact form in the ANSI code page fails the call
// with ERROR_NO_UNICODE_TRANSLATION and the function's failure value; nothing
// is written past a buffer. The few wide functions that Windows 95/98/ME
// implement for real (see ImplementedOn9x) are called on both families.
//
// Each entry point has the name and parameters of the wide function, so a
// call `::CreateMutexW(...)` becomes `api::CreateMutexW(...)`. The wide
// functions are bound by name once (GetProcAddress), never imported; the
// narrow ones exist on every system and are imported.
//
// The family is decided once, at the first call, from GetVersion() (high bit
// set: Windows 95/98/ME), never from GetVersionExW, a stub there. Binding
// then fills one table with either each wide function or its narrow adapter,
// and every entry point calls what the table holds (text_functions.h lists
// the functions; text_binding.cpp binds them; narrow_<dll>.cpp holds the
// adapters).
//
// Test switches (the shipped program never sets them):
// - environment variable QRT_WIN9X_STUBS, read once at the first call:
//     "1"      on a system that reports Windows 95/98/ME (Wine's win98
//              setting), every wide function outside ImplementedOn9x is bound
//              to a stub that fails as those systems' stubs do
//              (ERROR_CALL_NOT_IMPLEMENTED and the function's failure value);
//     "force"  the same on any system, which is then taken for Windows
//              95/98/ME: the whole program runs the narrow path against stubs.
// - ForceFamilyForTests: switches the path taken inside a test program (the
//   table is filled anew).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32/windows_api.h"
// After <windows.h>, which it needs.
#include <richedit.h>

namespace platform::win32::api {

enum class Family {
  kNt,         // NT 4, 2000, XP and later: the wide functions
  kWindows9x,  // Windows 95, 98, ME: the narrow functions
};

// The family whose path the entry points take.
Family CurrentFamily();

// The wide functions that Windows 95/98/ME implement for real, which are
// called on every system (names as exported).
std::span<const std::string_view> ImplementedOn9x();
bool IsImplementedOn9x(std::string_view exportName);

// --- For tests ---

// Takes the path of `family` from now on; nullopt goes back to the system's.
void ForceFamilyForTests(std::optional<Family> family);
// Whether the stubs of QRT_WIN9X_STUBS are bound.
bool StubsBoundForTests();
// The export names of the wide functions the binding binds.
std::span<const std::string_view> WideFunctionNamesForTests();
// What the binding calls for the wide function `exportName` (the real
// function or a stub); null for a name it does not bind.
FARPROC BoundWideFunctionForTests(std::string_view exportName);

// --- KERNEL32 ---

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes);
DWORD GetFileAttributesW(LPCWSTR fileName);
BOOL DeleteFileW(LPCWSTR fileName);
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes);
BOOL RemoveDirectoryW(LPCWSTR pathName);
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
// MoveFileExA is itself a stub on Windows 95/98/ME: so is this there.
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
UINT GetDriveTypeW(LPCWSTR rootPathName);
DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer);
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW findData);
HMODULE GetModuleHandleW(LPCWSTR moduleName);
HMODULE LoadLibraryW(LPCWSTR fileName);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);
DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);
// Fills OSVERSIONINFOW or OSVERSIONINFOEXW (by dwOSVersionInfoSize).
BOOL GetVersionExW(LPOSVERSIONINFOW info);
LPWSTR GetCommandLineW();
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
BOOL WritePrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR string, LPCWSTR fileName);
// Lists of zero-ended strings with a last zero; a buffer without room for
// the list and two more characters gets it cut after `size` - 2 characters
// and two zeros, and the answer `size` - 2, as from the wide functions.
DWORD GetPrivateProfileSectionNamesW(LPWSTR buffer, DWORD size, LPCWSTR fileName);
DWORD GetPrivateProfileSectionW(LPCWSTR appName, LPWSTR buffer, DWORD size, LPCWSTR fileName);

// --- VERSION ---

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
// On Windows 95/98/ME the block is read by the binding itself: the version
// resource of a 32-bit file holds UTF-16 text, which it answers unchanged.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

// --- ADVAPI32 ---

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid);
// The user the program runs as; `size` counts characters with the zero.
BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM desired, LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
// The value functions convert string data (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) between UTF-16 and the ANSI code page on Windows 95/98/ME,
// and answer its size in UTF-16 bytes, as the wide functions do.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataBytes);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataBytes);
// On Windows 95/98/ME the longest names are counted in ANSI bytes (never
// fewer than their characters) and the longest data doubled, so that they
// stay upper bounds.
LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                         LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                         LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                         LPDWORD securityDescriptorBytes, PFILETIME lastWriteTime);
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime);

// --- USER32 ---

// Reads the string table block directly on both families (FindResourceW is
// real on Windows 95/98/ME), so texts keep every UTF-16 character. A zero
// buffer size answers a read-only pointer to the text in the resource, as on
// the NT family.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// On Windows 95/98/ME SendMessageW sends the narrow message; of the messages
// that carry text it converts WM_SETTEXT, SB_SETTEXTW (sent as SB_SETTEXTA),
// EM_REPLACESEL and EM_SETCHARFORMAT with CHARFORMATW or CHARFORMAT2W. Any
// other message with text needs a helper below.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Messages without text only.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
HICON LoadIconW(HINSTANCE instance, LPCWSTR iconName);
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR buffer, int bufferMax);
int GetWindowTextLengthW(HWND window);
// On Windows 95/98/ME the dialog is a narrow window, and so are its controls.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);

// --- GDI32 ---

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName);

// --- Helpers for text in messages and resources ---

// `text` in the ANSI code page, zero characters included; nullopt when a
// character has no exact form there.
std::optional<std::string> ToAnsiExact(std::wstring_view text);

// The string `id` of the module's string table, copied; nullopt when it is
// missing or empty.
std::optional<std::u16string> LoadStringText(HINSTANCE instance, UINT id);
// The whole text of a window.
std::u16string WindowText(HWND window);
// SB_SETTEXT of a status bar: the text of part `part` with drawing type
// `type` (0, SBT_NOBORDERS, ...).
BOOL SetStatusBarText(HWND statusBar, int part, UINT type, LPCWSTR text);
// Replaces the selection of a rich edit control with `text`: EM_SETTEXTEX
// with code page 1200 (rich edit 3.0), which keeps UTF-16 on both families,
// else EM_REPLACESEL (ANSI text on Windows 95/98/ME).
BOOL ReplaceRichEditSelection(HWND richEdit, LPCWSTR text, BOOL canUndo);
// Character count of a rich edit control's text (EM_GETTEXTLENGTHEX,
// GTL_NUMCHARS | GTL_PRECISE, code page 1200).
int RichEditTextLength(HWND richEdit);
// The text of a rich edit control as UTF-16 (EM_GETTEXTEX with code page
// 1200, rich edit 2.0, on both families); paragraphs end in CR.
std::u16string RichEditText(HWND richEdit);
// EM_SETCHARFORMAT with `scope` (SCF_SELECTION, ...); CHARFORMAT2A on
// Windows 95/98/ME.
BOOL SetRichEditCharFormat(HWND richEdit, WPARAM scope, const CHARFORMAT2W& format);

}  // namespace platform::win32::api
