#include "platform/win32/text_api.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "platform/win32/binding.h"

namespace platform::win32::api {
namespace {

// --- The wide functions bound by name ---

enum Module { kKernel32, kUser32, kGdi32, kAdvapi32, kVersion, kModuleCount };
constexpr std::array<const char*, kModuleCount> kModuleNames = {
    "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "VERSION.DLL"};

// The wide functions that Windows 95/98/ME implement for real. Sources:
// Microsoft Knowledge Base article Q210341, "Unicode support in Windows 95
// and Windows 98" (from the Platform SDK's Quick Info: EnumResourceLanguagesW,
// EnumResourceNamesW, EnumResourceTypesW, ExtTextOutW, FindResourceW,
// FindResourceExW, GetCharWidthW, GetCommandLineW, GetTextExtentExPointW,
// GetTextExtentPointW, GetTextExtentPoint32W, lstrlenW, MessageBoxExW,
// MessageBoxW, MultiByteToWideChar, TextOutW, WideCharToMultiByte), and the
// Windows 95 SDK's "Windows 95 General Limitations" page (ExtTextOut,
// GetCharWidth, GetTextExtentExPoint, GetTextExtentPoint, MessageBox,
// MessageBoxEx, TextOut, and the two conversion functions). lstrcpyW and
// lstrcatW, real from Windows 98 on only, are left out.
constexpr std::string_view kImplementedOn9x[] = {
    "EnumResourceLanguagesW", "EnumResourceNamesW",    "EnumResourceTypesW",  "ExtTextOutW",
    "FindResourceExW",        "FindResourceW",         "GetCharWidthW",       "GetCommandLineW",
    "GetTextExtentExPointW",  "GetTextExtentPoint32W", "GetTextExtentPointW", "lstrlenW",
    "MessageBoxExW",          "MessageBoxW",           "MultiByteToWideChar", "TextOutW",
    "WideCharToMultiByte",
};

// Every wide function the entry points call: module, name, return type,
// failure value of a Windows 95/98/ME stub, parameter types.
#define QRT_WIDE_FUNCTIONS(X)                                                                      \
  X(kKernel32, CreateMutexW, HANDLE, nullptr, LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR)                \
  X(kKernel32, CreateFileW, HANDLE, INVALID_HANDLE_VALUE, LPCWSTR, DWORD, DWORD,                   \
    LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)                                                   \
  X(kKernel32, SetFileAttributesW, BOOL, FALSE, LPCWSTR, DWORD)                                    \
  X(kKernel32, GetFileAttributesW, DWORD, INVALID_FILE_ATTRIBUTES, LPCWSTR)                        \
  X(kKernel32, DeleteFileW, BOOL, FALSE, LPCWSTR)                                                  \
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
  X(kKernel32, FindResourceW, HRSRC, nullptr, HMODULE, LPCWSTR, LPCWSTR)                           \
  X(kKernel32, GetCommandLineW, LPWSTR, nullptr)                                                   \
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
  X(kUser32, MessageBoxW, int, 0, HWND, LPCWSTR, LPCWSTR, UINT)                                    \
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

// The export name after macro expansion: on 32-bit Windows
// GetWindowLongPtrW and SetWindowLongPtrW are GetWindowLongW and
// SetWindowLongW.
#define QRT_EXPORT_NAME_OF(name) #name
#define QRT_EXPORT_NAME(name) QRT_EXPORT_NAME_OF(name)

#define QRT_DECLARE_TYPE(module, name, R, failure, ...) \
  using name##Function = R(WINAPI*)(__VA_ARGS__);       \
  static_assert(std::is_same_v<name##Function, decltype(&::name)>);
QRT_WIDE_FUNCTIONS(QRT_DECLARE_TYPE)
#undef QRT_DECLARE_TYPE

// The stubs of the test mode, failing as those of Windows 95/98/ME do.
#define QRT_DEFINE_STUB(module, name, R, failure, ...) \
  R WINAPI name##Stub(__VA_ARGS__) {                   \
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);        \
    return failure;                                    \
  }
QRT_WIDE_FUNCTIONS(QRT_DEFINE_STUB)
#undef QRT_DEFINE_STUB

struct WideTable {
#define QRT_MEMBER(module, name, R, failure, ...) name##Function name = nullptr;
  QRT_WIDE_FUNCTIONS(QRT_MEMBER)
#undef QRT_MEMBER
};

constexpr std::string_view kWideFunctionNames[] = {
#define QRT_NAME(module, name, R, failure, ...) QRT_EXPORT_NAME(name),
    QRT_WIDE_FUNCTIONS(QRT_NAME)
#undef QRT_NAME
};

struct BoundFunction {
  std::string_view name;
  FARPROC address;
};

struct State {
  Family systemFamily = Family::kNt;
  Family family = Family::kNt;
  bool stubs = false;
  WideTable wide;
  std::vector<BoundFunction> bound;
};

FARPROC AsFarProc(void (*function)()) { return reinterpret_cast<FARPROC>(function); }

// GetProcAddress as a typed pointer; the stub when the function is missing
// or when the test mode replaces it.
template <typename Function>
Function BindWide(HMODULE module, const char* name, Function stub, bool useStub) {
  if (useStub && !IsImplementedOn9x(name)) return stub;
  const Function bound = BindFunction<Function>(module, name);
  return bound != nullptr ? bound : stub;
}

State MakeState() {
  State state;
  // GetVersion: the high bit is set on Windows 95/98/ME (and Win32s).
  state.systemFamily = (::GetVersion() & 0x80000000u) != 0 ? Family::kWindows9x : Family::kNt;
  char mode[16] = {};
  const DWORD n = ::GetEnvironmentVariableA("QRT_WIN9X_STUBS", mode, sizeof mode);
  const std::string_view setting = n > 0 && n < sizeof mode ? std::string_view(mode, n) : "";
  if (setting == "force") state.systemFamily = Family::kWindows9x;
  state.family = state.systemFamily;
  state.stubs = (setting == "1" || setting == "force") && state.systemFamily == Family::kWindows9x;

  std::array<HMODULE, kModuleCount> modules{};
  for (std::size_t i = 0; i < modules.size(); ++i) modules[i] = ::LoadLibraryA(kModuleNames[i]);
#define QRT_BIND(module, name, R, failure, ...)                                                   \
  state.wide.name =                                                                               \
      BindWide<name##Function>(modules[module], QRT_EXPORT_NAME(name), &name##Stub, state.stubs); \
  state.bound.push_back(BoundFunction{QRT_EXPORT_NAME(name),                                      \
                                      AsFarProc(reinterpret_cast<void (*)()>(state.wide.name))});
  QRT_WIDE_FUNCTIONS(QRT_BIND)
#undef QRT_BIND
  return state;
}

State& TheState() {
  static State state = MakeState();
  return state;
}

const WideTable& Bound() { return TheState().wide; }
bool Narrow() { return TheState().family == Family::kWindows9x; }

// --- Text in the ANSI code page ---

std::wstring FromAnsi(const char* text, std::size_t length) {
  if (length == 0 || length > INT_MAX) return {};
  const int n = static_cast<int>(length);
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, n, out.data(), size);
  return out;
}

// `text` in the ANSI code page; nullopt when a character has no exact form
// there (a default character or a best-fit mapping, which would name another
// file, key or window).
std::optional<std::string> ToAnsi(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX / 4) return std::nullopt;
  const int n = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int size =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_ACP, 0, text.data(), n, out.data(), size, nullptr, nullptr) !=
      size) {
    return std::nullopt;
  }
  if (FromAnsi(out.data(), out.size()) != text) return std::nullopt;
  return out;
}

// A wide argument as the narrow function takes it: null stays null, a
// resource or atom number passes unchanged where `numbers` allows it, text is
// converted.
class NarrowText {
 public:
  explicit NarrowText(LPCWSTR wide, bool numbers = false) {
    if (wide == nullptr) return;
    if (numbers && IS_INTRESOURCE(wide)) {
      number_ = reinterpret_cast<LPCSTR>(wide);
      return;
    }
    auto ansi = ToAnsi(std::wstring_view(wide));
    if (!ansi) {
      ok_ = false;
      return;
    }
    text_ = std::move(*ansi);
    isText_ = true;
  }
  bool ok() const { return ok_; }
  LPCSTR get() const { return isText_ ? text_.c_str() : number_; }

 private:
  LPCSTR number_ = nullptr;
  std::string text_;
  bool isText_ = false;
  bool ok_ = true;
};

template <typename R>
R NoTranslation(R failure) {
  ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return failure;
}

// The answer of GetSystemDirectory and its kind: the length without the zero
// when the text fits with it, else the size it needs with it, the buffer
// left as it was.
UINT CopyOrNeed(std::wstring_view text, LPWSTR buffer, UINT size) {
  if (buffer != nullptr && text.size() < size) {
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return static_cast<UINT>(text.size());
  }
  return static_cast<UINT>(text.size() + 1);
}

// The answer of GetWindowText and its kind: as much as fits before a
// terminating zero, and its length.
int CopyTruncated(std::wstring_view text, LPWSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(bufferMax - 1));
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = L'\0';
  return static_cast<int>(n);
}

// The whole text of a narrow function that answers the length it wrote, or
// the size it needs (zero included) when the buffer is too small, or 0 on
// failure (with its error kept).
template <typename Call>
std::optional<std::wstring> QueryNarrow(Call call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) return FromAnsi(buffer.data(), n);
    buffer.assign(n + 1, '\0');
  }
  return std::nullopt;
}

std::wstring NarrowWindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(window, buffer.data(), length + 1);
  return FromAnsi(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

bool ClassNameStartsWith(HWND window, std::string_view prefix) {
  char name[64] = {};
  const int n = ::GetClassNameA(window, name, sizeof name);
  if (n < static_cast<int>(prefix.size())) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(name[i]) != lower(prefix[i])) return false;
  }
  return true;
}

// The face name of a character format in the ANSI code page; false when it
// has no exact form or no room.
template <std::size_t N>
bool NarrowFaceName(const WCHAR (&wide)[N], char (&narrow)[N]) {
  std::size_t length = 0;
  while (length < N && wide[length] != L'\0') ++length;
  const auto ansi = ToAnsi(std::wstring_view(wide, length));
  if (!ansi || ansi->size() >= N) return false;
  std::memcpy(narrow, ansi->c_str(), ansi->size() + 1);
  return true;
}

template <typename NarrowFormat, typename WideFormat>
bool NarrowCharFormat(const WideFormat& wide, NarrowFormat& narrow) {
  narrow.cbSize = sizeof narrow;
  narrow.dwMask = wide.dwMask;
  narrow.dwEffects = wide.dwEffects;
  narrow.yHeight = wide.yHeight;
  narrow.yOffset = wide.yOffset;
  narrow.crTextColor = wide.crTextColor;
  narrow.bCharSet = wide.bCharSet;
  narrow.bPitchAndFamily = wide.bPitchAndFamily;
  return (wide.dwMask & CFM_FACE) == 0 || NarrowFaceName(wide.szFaceName, narrow.szFaceName);
}

bool NarrowCharFormat2(const CHARFORMAT2W& wide, CHARFORMAT2A& narrow) {
  if (!NarrowCharFormat(wide, narrow)) return false;
  narrow.wWeight = wide.wWeight;
  narrow.sSpacing = wide.sSpacing;
  narrow.crBackColor = wide.crBackColor;
  narrow.lcid = wide.lcid;
  narrow.dwReserved = wide.dwReserved;
  narrow.sStyle = wide.sStyle;
  narrow.wKerning = wide.wKerning;
  narrow.bUnderlineType = wide.bUnderlineType;
  narrow.bAnimation = wide.bAnimation;
  narrow.bRevAuthor = wide.bRevAuthor;
  return true;
}

LRESULT SendNarrowCharFormat(HWND window, WPARAM scope, LPARAM format) {
  const UINT size = format == 0 ? 0 : *reinterpret_cast<const UINT*>(format);
  if (size == sizeof(CHARFORMAT2W)) {
    CHARFORMAT2A narrow{};
    if (!NarrowCharFormat2(*reinterpret_cast<const CHARFORMAT2W*>(format), narrow)) {
      return NoTranslation<LRESULT>(0);
    }
    return ::SendMessageA(window, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&narrow));
  }
  if (size == sizeof(CHARFORMATW)) {
    CHARFORMATA narrow{};
    if (!NarrowCharFormat(*reinterpret_cast<const CHARFORMATW*>(format), narrow)) {
      return NoTranslation<LRESULT>(0);
    }
    return ::SendMessageA(window, EM_SETCHARFORMAT, scope, reinterpret_cast<LPARAM>(&narrow));
  }
  return ::SendMessageA(window, EM_SETCHARFORMAT, scope, format);
}

LRESULT SendNarrowText(HWND window, UINT message, WPARAM wParam, LPARAM text) {
  const NarrowText narrow(reinterpret_cast<LPCWSTR>(text));
  if (!narrow.ok()) return NoTranslation<LRESULT>(0);
  return ::SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(narrow.get()));
}

// --- Registry data and names in the ANSI code page ---

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The data of a narrow registry call as the wide call gives it: string data
// in UTF-16, zeros and all, anything else unchanged.
std::vector<BYTE> WidenData(DWORD type, std::vector<BYTE> data) {
  if (!IsStringType(type) || data.empty()) return data;
  const std::wstring wide = FromAnsi(reinterpret_cast<const char*>(data.data()), data.size());
  std::vector<BYTE> out(wide.size() * sizeof(wchar_t));
  std::memcpy(out.data(), wide.data(), out.size());
  return out;
}

// Reads the whole data of a value with a narrow call `read(type, data,
// size)`: its size first, then the data (again when it grew in between).
template <typename Read>
LSTATUS ReadNarrowData(Read read, DWORD& type, std::vector<BYTE>& data) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LSTATUS status = read(&type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data.assign(size + 1, 0);
    status = read(&type, data.data(), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_SUCCESS) data.resize(std::min<std::size_t>(size, data.size() - 1));
    return status;
  }
  return ERROR_MORE_DATA;
}

// Gives value data as the wide functions do: the type, the size in
// `dataBytes`, and the data when `data` is offered and large enough
// (ERROR_MORE_DATA when not).
LSTATUS GiveData(DWORD type, const std::vector<BYTE>& wide, LPDWORD typeOut, LPBYTE data,
                 LPDWORD dataBytes) {
  if (typeOut != nullptr) *typeOut = type;
  if (dataBytes == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD offered = *dataBytes;
  *dataBytes = static_cast<DWORD>(wide.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (wide.size() > offered) return ERROR_MORE_DATA;
  std::copy(wide.begin(), wide.end(), data);
  return ERROR_SUCCESS;
}

// Gives a name of `length` ANSI bytes as the wide functions do: with its
// terminating zero and its length in characters in `chars` when it fits,
// else ERROR_MORE_DATA. A null `out` asks for nothing.
LSTATUS GiveName(const char* name, std::size_t length, LPWSTR out, LPDWORD chars) {
  if (out == nullptr) return ERROR_SUCCESS;
  if (chars == nullptr) return ERROR_INVALID_PARAMETER;
  const std::wstring wide = FromAnsi(name, length);
  if (wide.size() >= *chars) return ERROR_MORE_DATA;
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = L'\0';
  *chars = static_cast<DWORD>(wide.size());
  return ERROR_SUCCESS;
}

// Registry names have at most 16383 characters, of up to two bytes each in
// the ANSI code page.
constexpr DWORD kNarrowNameBytes = 2 * 16384;

// --- The string table, read directly ---

// String `id` inside its block (16 counted strings) of the string table;
// nullopt when the block is missing or cut short.
std::optional<std::wstring_view> FindStringInTable(HINSTANCE instance, UINT id) {
  const UINT block = (LOWORD(id) >> 4) + 1;
  HRSRC info = api::FindResourceW(instance, MAKEINTRESOURCEW(block), MAKEINTRESOURCEW(6));
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(instance, info);
  const auto* at = static_cast<const WCHAR*>(loaded == nullptr ? nullptr : ::LockResource(loaded));
  if (at == nullptr) return std::nullopt;
  const WCHAR* end = at + ::SizeofResource(instance, info) / sizeof(WCHAR);
  for (UINT i = 0; i < (id & 15); ++i) {
    if (at >= end) return std::nullopt;
    at += 1 + *at;
  }
  if (at >= end || *at > end - at - 1) return std::nullopt;
  return std::wstring_view(at + 1, *at);
}

// --- Version resources, read directly ---

struct VersionNode {
  std::wstring_view key;
  const BYTE* value;
  WORD valueLength;  // as stored: bytes, or characters of a text value
  const BYTE* children;
  const BYTE* end;
};

WORD ReadWord(const BYTE* at) {
  WORD value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// A node of a version resource in its 32-bit form (lengths, type, UTF-16
// key, value and children each aligned to 4 bytes from the block's start).
std::optional<VersionNode> ReadVersionNode(const BYTE* base, const BYTE* at, const BYTE* limit) {
  const auto align = [base](const BYTE* p) { return base + ((p - base + 3) & ~3); };
  if (limit - at < 6) return std::nullopt;
  const WORD length = ReadWord(at);
  const WORD valueLength = ReadWord(at + 2);
  const WORD type = ReadWord(at + 4);
  if (length < 6 || length > limit - at) return std::nullopt;
  const BYTE* end = at + length;
  const auto* key = reinterpret_cast<const WCHAR*>(at + 6);
  const auto keyRoom = static_cast<std::size_t>(end - (at + 6)) / sizeof(WCHAR);
  std::size_t keyLength = 0;
  while (keyLength < keyRoom && key[keyLength] != L'\0') ++keyLength;
  if (keyLength == keyRoom) return std::nullopt;
  const BYTE* value = align(at + 6 + (keyLength + 1) * sizeof(WCHAR));
  const std::size_t valueBytes = type == 1 ? valueLength * sizeof(WCHAR) : valueLength;
  if (value > end || valueBytes > static_cast<std::size_t>(end - value)) return std::nullopt;
  const BYTE* children = std::min(align(value + valueBytes), end);
  return VersionNode{std::wstring_view(key, keyLength), value, valueLength, children, end};
}

bool SameKey(std::wstring_view a, std::wstring_view b) {
  const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

// VerQueryValueW over the block itself: "\" gives the fixed file
// information, "\VarFileInfo\Translation" and "\StringFileInfo\<lang>\<name>"
// the values below; keys compare without regard to ASCII case.
BOOL QueryVersionBlock(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
  if (block == nullptr || subBlock == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* base = static_cast<const BYTE*>(block);
  const BYTE* limit = base + ReadWord(base);
  auto node = ReadVersionNode(base, base, limit);
  if (!node || node->key != L"VS_VERSION_INFO") {
    ::SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::wstring_view path(subBlock);
  while (!path.empty()) {
    const std::size_t skip = path.find_first_not_of(L'\\');
    if (skip == std::wstring_view::npos) break;
    path.remove_prefix(skip);
    const std::wstring_view key = path.substr(0, path.find(L'\\'));
    path.remove_prefix(key.size());
    std::optional<VersionNode> found;
    for (const BYTE* at = node->children; at < node->end;) {
      const auto child = ReadVersionNode(base, at, node->end);
      if (!child) break;
      if (SameKey(child->key, key)) {
        found = child;
        break;
      }
      at = base + ((child->end - base + 3) & ~3);
    }
    if (!found) {
      ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    }
    node = found;
  }
  if (buffer != nullptr) *buffer = const_cast<BYTE*>(node->value);
  if (length != nullptr) *length = node->valueLength;
  return TRUE;
}

}  // namespace

// --- Family and test switches ---

Family CurrentFamily() { return TheState().family; }

std::span<const std::string_view> ImplementedOn9x() { return kImplementedOn9x; }

bool IsImplementedOn9x(std::string_view exportName) {
  return std::find(std::begin(kImplementedOn9x), std::end(kImplementedOn9x), exportName) !=
         std::end(kImplementedOn9x);
}

void ForceFamilyForTests(std::optional<Family> family) {
  State& state = TheState();
  state.family = family.value_or(state.systemFamily);
}

bool StubsBoundForTests() { return TheState().stubs; }

std::span<const std::string_view> WideFunctionNamesForTests() { return kWideFunctionNames; }

FARPROC BoundWideFunctionForTests(std::string_view exportName) {
  for (const BoundFunction& function : TheState().bound) {
    if (function.name == exportName) return function.address;
  }
  return nullptr;
}

// --- KERNEL32 ---

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name) {
  if (!Narrow()) return Bound().CreateMutexW(attributes, initialOwner, name);
  const NarrowText n(name);
  if (!n.ok()) return NoTranslation<HANDLE>(nullptr);
  return ::CreateMutexA(attributes, initialOwner, n.get());
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  if (!Narrow()) {
    return Bound().CreateFileW(fileName, desiredAccess, shareMode, attributes, creationDisposition,
                               flagsAndAttributes, templateFile);
  }
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  return ::CreateFileA(n.get(), desiredAccess, shareMode, attributes, creationDisposition,
                       flagsAndAttributes, templateFile);
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes) {
  if (!Narrow()) return Bound().SetFileAttributesW(fileName, fileAttributes);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetFileAttributesA(n.get(), fileAttributes);
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
  if (!Narrow()) return Bound().GetFileAttributesW(fileName);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<DWORD>(INVALID_FILE_ATTRIBUTES);
  return ::GetFileAttributesA(n.get());
}

BOOL DeleteFileW(LPCWSTR fileName) {
  if (!Narrow()) return Bound().DeleteFileW(fileName);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::DeleteFileA(n.get());
}

BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
  if (!Narrow()) return Bound().MoveFileW(existingFileName, newFileName);
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::MoveFileA(from.get(), to.get());
}

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
  if (!Narrow()) return Bound().MoveFileExW(existingFileName, newFileName, flags);
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::MoveFileExA(from.get(), to.get(), flags);
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
  if (!Narrow()) return Bound().CopyFileW(existingFileName, newFileName, failIfExists);
  const NarrowText from(existingFileName);
  const NarrowText to(newFileName);
  if (!from.ok() || !to.ok()) return NoTranslation<BOOL>(FALSE);
  return ::CopyFileA(from.get(), to.get(), failIfExists);
}

UINT GetDriveTypeW(LPCWSTR rootPathName) {
  if (!Narrow()) return Bound().GetDriveTypeW(rootPathName);
  const NarrowText n(rootPathName);
  if (!n.ok()) return NoTranslation<UINT>(DRIVE_NO_ROOT_DIR);
  return ::GetDriveTypeA(n.get());
}

DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer) {
  if (!Narrow()) return Bound().GetLogicalDriveStringsW(bufferLength, buffer);
  // Root strings are plain ASCII ("C:\\"): one narrow character each.
  std::string narrow(bufferLength + 1, '\0');
  const DWORD n = ::GetLogicalDriveStringsA(bufferLength, narrow.data());
  if (n == 0 || n >= bufferLength || buffer == nullptr) return n;
  for (DWORD i = 0; i <= n; ++i) buffer[i] = static_cast<unsigned char>(narrow[i]);
  return n;
}

namespace {

// The wide form of a narrow listing entry; false when its name has no wide
// form that fits.
bool WideFindData(const WIN32_FIND_DATAA& narrow, LPWIN32_FIND_DATAW wide) {
  wide->dwFileAttributes = narrow.dwFileAttributes;
  wide->ftCreationTime = narrow.ftCreationTime;
  wide->ftLastAccessTime = narrow.ftLastAccessTime;
  wide->ftLastWriteTime = narrow.ftLastWriteTime;
  wide->nFileSizeHigh = narrow.nFileSizeHigh;
  wide->nFileSizeLow = narrow.nFileSizeLow;
  wide->dwReserved0 = narrow.dwReserved0;
  wide->dwReserved1 = narrow.dwReserved1;
  const auto length = [](const auto& field) {
    return static_cast<std::size_t>(std::find(std::begin(field), std::end(field), '\0') -
                                    std::begin(field));
  };
  const auto name = FromAnsi(narrow.cFileName, length(narrow.cFileName));
  const auto shortName = FromAnsi(narrow.cAlternateFileName, length(narrow.cAlternateFileName));
  if (name.size() >= MAX_PATH || shortName.size() >= 14) return false;
  std::copy(name.begin(), name.end(), wide->cFileName);
  wide->cFileName[name.size()] = L'\0';
  std::copy(shortName.begin(), shortName.end(), wide->cAlternateFileName);
  wide->cAlternateFileName[shortName.size()] = L'\0';
  return true;
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  if (!Narrow()) return Bound().FindFirstFileW(fileName, findData);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAA narrow{};
  HANDLE search = ::FindFirstFileA(n.get(), &narrow);
  if (search == INVALID_HANDLE_VALUE) return search;
  if (!WideFindData(narrow, findData)) {
    ::FindClose(search);
    return NoTranslation<HANDLE>(INVALID_HANDLE_VALUE);
  }
  return search;
}

BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW findData) {
  if (!Narrow()) return Bound().FindNextFileW(search, findData);
  WIN32_FIND_DATAA narrow{};
  // An entry whose name has no wide form is passed over.
  while (::FindNextFileA(search, &narrow)) {
    if (WideFindData(narrow, findData)) return TRUE;
  }
  return FALSE;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (!Narrow()) return Bound().GetModuleHandleW(moduleName);
  const NarrowText n(moduleName);
  if (!n.ok()) return NoTranslation<HMODULE>(nullptr);
  return ::GetModuleHandleA(n.get());
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
  if (!Narrow()) return Bound().LoadLibraryW(fileName);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<HMODULE>(nullptr);
  return ::LoadLibraryA(n.get());
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (!Narrow()) return Bound().GetModuleFileNameW(module, fileName, size);
  // The whole name first: a narrow answer that fills the buffer may be cut.
  std::string path(MAX_PATH + 1, '\0');
  DWORD n = 0;
  for (;;) {
    n = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return 0;
    if (n + 1 < path.size() || path.size() > 0x10000) break;
    path.assign(path.size() * 2, '\0');
  }
  const std::wstring wide = FromAnsi(path.data(), std::min<std::size_t>(n, path.size()));
  // As the wide function: cut to `size` characters, with the terminating zero
  // only when it fits.
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(size, wide.size()));
  if (fileName == nullptr) return 0;
  std::copy_n(wide.begin(), length, fileName);
  if (length < size) {
    fileName[length] = L'\0';
  } else {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  return length;
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  if (!Narrow()) return Bound().GetSystemDirectoryW(buffer, size);
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetSystemDirectoryA(narrow, room); });
  return path ? CopyOrNeed(*path, buffer, size) : 0;
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
  if (!Narrow()) return Bound().GetWindowsDirectoryW(buffer, size);
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetWindowsDirectoryA(narrow, room); });
  return path ? CopyOrNeed(*path, buffer, size) : 0;
}

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
  if (!Narrow()) return Bound().GetTempPathW(bufferLength, buffer);
  const auto path =
      QueryNarrow([](char* narrow, UINT room) { return ::GetTempPathA(room, narrow); });
  if (!path) return 0;
  const UINT n = CopyOrNeed(*path, buffer, bufferLength);
  // The wide function clears the rest of the buffer (up to 32767 characters),
  // and all of it when the path does not fit.
  if (buffer != nullptr) {
    const std::size_t from = n > path->size() ? 0 : path->size();
    const std::size_t to = std::min<std::size_t>(bufferLength, 32767);
    if (from < to) std::fill(buffer + from, buffer + to, L'\0');
  }
  return n;
}

DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size) {
  if (!Narrow()) return Bound().GetShortPathNameW(longPath, shortPath, size);
  const NarrowText n(longPath);
  if (!n.ok()) return NoTranslation<DWORD>(0);
  const auto path = QueryNarrow(
      [&n](char* narrow, UINT room) { return ::GetShortPathNameA(n.get(), narrow, room); });
  return path ? CopyOrNeed(*path, shortPath, size) : 0;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!Narrow()) return Bound().GetVersionExW(info);
  if (info == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OSVERSIONINFOEXA narrow{};
  narrow.dwOSVersionInfoSize =
      size == sizeof(OSVERSIONINFOW) ? sizeof(OSVERSIONINFOA) : sizeof(OSVERSIONINFOEXA);
  if (!::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&narrow))) return FALSE;
  info->dwMajorVersion = narrow.dwMajorVersion;
  info->dwMinorVersion = narrow.dwMinorVersion;
  info->dwBuildNumber = narrow.dwBuildNumber;
  info->dwPlatformId = narrow.dwPlatformId;
  const std::size_t room = std::size(info->szCSDVersion);
  const std::wstring csd =
      FromAnsi(narrow.szCSDVersion, ::strnlen(narrow.szCSDVersion, sizeof narrow.szCSDVersion));
  std::fill_n(info->szCSDVersion, room, L'\0');
  std::copy_n(csd.begin(), std::min(csd.size(), room - 1), info->szCSDVersion);
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
    ex->wServicePackMajor = narrow.wServicePackMajor;
    ex->wServicePackMinor = narrow.wServicePackMinor;
    ex->wSuiteMask = narrow.wSuiteMask;
    ex->wProductType = narrow.wProductType;
    ex->wReserved = narrow.wReserved;
  }
  return TRUE;
}

LPWSTR GetCommandLineW() {
  // Implemented on every system.
  return Bound().GetCommandLineW();
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  // Implemented on every system.
  return Bound().FindResourceW(module, name, type);
}

BOOL WritePrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR string,
                                LPCWSTR fileName) {
  if (!Narrow()) return Bound().WritePrivateProfileStringW(appName, keyName, string, fileName);
  const NarrowText app(appName);
  const NarrowText key(keyName);
  const NarrowText value(string);
  const NarrowText file(fileName);
  if (!app.ok() || !key.ok() || !value.ok() || !file.ok()) return NoTranslation<BOOL>(FALSE);
  return ::WritePrivateProfileStringA(app.get(), key.get(), value.get(), file.get());
}

namespace {

// A list of zero-ended strings put into a wide buffer as the wide profile
// functions do: whole with one more zero when there is room for two more
// characters, else cut after `size` - 2 characters and ended by two zeros.
DWORD PutStringList(std::wstring_view list, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = L'\0';
    return 0;
  }
  if (list.size() + 2 <= size) {
    std::copy(list.begin(), list.end(), buffer);
    buffer[list.size()] = L'\0';
    return static_cast<DWORD>(list.size());
  }
  std::copy_n(list.begin(), size - 2, buffer);
  buffer[size - 2] = L'\0';
  buffer[size - 1] = L'\0';
  return size - 2;
}

// Calls a narrow function that fills a list of zero-ended strings, with
// room for two bytes per wide character (a double-byte code page), and puts
// the list into the wide buffer.
template <typename Call>
DWORD NarrowStringList(Call call, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const DWORD bytes = std::min<DWORD>(size, 0x3FFFFFFF) * 2;
  std::string narrow(bytes, '\0');
  const DWORD n = std::min<DWORD>(call(narrow.data(), bytes), bytes);
  return PutStringList(FromAnsi(narrow.data(), n), buffer, size);
}

}  // namespace

DWORD GetPrivateProfileSectionNamesW(LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  if (!Narrow()) return Bound().GetPrivateProfileSectionNamesW(buffer, size, fileName);
  const NarrowText file(fileName);
  if (!file.ok()) {
    PutStringList({}, buffer, size);
    return NoTranslation<DWORD>(0);
  }
  return NarrowStringList(
      [&](LPSTR narrow, DWORD bytes) {
        return ::GetPrivateProfileSectionNamesA(narrow, bytes, file.get());
      },
      buffer, size);
}

DWORD GetPrivateProfileSectionW(LPCWSTR appName, LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  if (!Narrow()) return Bound().GetPrivateProfileSectionW(appName, buffer, size, fileName);
  const NarrowText app(appName);
  const NarrowText file(fileName);
  if (!app.ok() || !file.ok()) {
    PutStringList({}, buffer, size);
    return NoTranslation<DWORD>(0);
  }
  return NarrowStringList(
      [&](LPSTR narrow, DWORD bytes) {
        return ::GetPrivateProfileSectionA(app.get(), narrow, bytes, file.get());
      },
      buffer, size);
}

// --- VERSION ---

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
  if (!Narrow()) return Bound().GetFileVersionInfoSizeW(fileName, handle);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<DWORD>(0);
  return ::GetFileVersionInfoSizeA(n.get(), handle);
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data) {
  if (!Narrow()) return Bound().GetFileVersionInfoW(fileName, handle, length, data);
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::GetFileVersionInfoA(n.get(), handle, length, data);
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
  if (!Narrow()) return Bound().VerQueryValueW(block, subBlock, buffer, length);
  return QueryVersionBlock(block, subBlock, buffer, length);
}

// --- ADVAPI32 ---

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid) {
  if (!Narrow()) return Bound().LookupPrivilegeValueW(systemName, name, luid);
  const NarrowText system(systemName);
  const NarrowText privilege(name);
  if (!system.ok() || !privilege.ok()) return NoTranslation<BOOL>(FALSE);
  return ::LookupPrivilegeValueA(system.get(), privilege.get(), luid);
}

BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
  if (!Narrow()) return Bound().GetUserNameW(buffer, size);
  if (size == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The whole name first (user names have up to 256 characters).
  std::string name(257, '\0');
  DWORD n = static_cast<DWORD>(name.size());
  if (!::GetUserNameA(name.data(), &n)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || n <= name.size()) return FALSE;
    name.assign(n, '\0');
    n = static_cast<DWORD>(name.size());
    if (!::GetUserNameA(name.data(), &n)) return FALSE;
  }
  const std::wstring wide = FromAnsi(name.c_str(), std::strlen(name.c_str()));
  // As the wide function: the size with the terminating zero, given back
  // both when the name fits and when it does not.
  const DWORD needed = static_cast<DWORD>(wide.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(wide.begin(), wide.end(), buffer);
  buffer[wide.size()] = L'\0';
  *size = needed;
  return TRUE;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  if (!Narrow()) return Bound().RegOpenKeyExW(key, subKey, options, desired, result);
  const NarrowText n(subKey);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegOpenKeyExA(key, n.get(), options, desired, result);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM desired, LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                        LPDWORD disposition) {
  if (!Narrow()) {
    return Bound().RegCreateKeyExW(key, subKey, reserved, keyClass, options, desired, attributes,
                                   result, disposition);
  }
  const NarrowText n(subKey);
  const NarrowText c(keyClass);
  if (!n.ok() || !c.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegCreateKeyExA(key, n.get(), reserved, const_cast<LPSTR>(c.get()), options, desired,
                           attributes, result, disposition);
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (!Narrow()) return Bound().RegDeleteKeyW(key, subKey);
  const NarrowText n(subKey);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegDeleteKeyA(key, n.get());
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  if (!Narrow()) return Bound().RegDeleteValueW(key, valueName);
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegDeleteValueA(key, n.get());
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataBytes) {
  if (!Narrow()) return Bound().RegQueryValueExW(key, valueName, reserved, type, data, dataBytes);
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  DWORD narrowType = 0;
  std::vector<BYTE> narrowData;
  const LSTATUS status = ReadNarrowData(
      [&](LPDWORD t, LPBYTE d, LPDWORD size) {
        return ::RegQueryValueExA(key, n.get(), reserved, t, d, size);
      },
      narrowType, narrowData);
  if (status != ERROR_SUCCESS) return status;
  return GiveData(narrowType, WidenData(narrowType, std::move(narrowData)), type, data, dataBytes);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataBytes) {
  if (!Narrow()) return Bound().RegSetValueExW(key, valueName, reserved, type, data, dataBytes);
  const NarrowText n(valueName);
  if (!n.ok()) return ERROR_NO_UNICODE_TRANSLATION;
  if (!IsStringType(type) || data == nullptr) {
    return ::RegSetValueExA(key, n.get(), reserved, type, data, dataBytes);
  }
  std::wstring wide(dataBytes / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
  const auto ansi = ToAnsi(wide);
  if (!ansi) return ERROR_NO_UNICODE_TRANSLATION;
  return ::RegSetValueExA(key, n.get(), reserved, type, reinterpret_cast<const BYTE*>(ansi->data()),
                          static_cast<DWORD>(ansi->size()));
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                         LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                         LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                         LPDWORD securityDescriptorBytes, PFILETIME lastWriteTime) {
  if (!Narrow()) {
    return Bound().RegQueryInfoKeyW(key, keyClass, classChars, reserved, subKeys, maxSubKeyChars,
                                    maxClassChars, values, maxValueNameChars, maxValueBytes,
                                    securityDescriptorBytes, lastWriteTime);
  }
  std::string narrowClass(kNarrowNameBytes, '\0');
  DWORD classLength = kNarrowNameBytes;
  const LSTATUS status =
      ::RegQueryInfoKeyA(key, keyClass != nullptr ? narrowClass.data() : nullptr,
                         keyClass != nullptr ? &classLength : nullptr, reserved, subKeys,
                         maxSubKeyChars, maxClassChars, values, maxValueNameChars, maxValueBytes,
                         securityDescriptorBytes, lastWriteTime);
  if (status != ERROR_SUCCESS) return status;
  if (maxValueBytes != nullptr) *maxValueBytes *= 2;
  return GiveName(narrowClass.data(), std::min<DWORD>(classLength, kNarrowNameBytes), keyClass,
                  classChars);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  if (!Narrow()) {
    return Bound().RegEnumValueW(key, index, valueName, valueNameChars, reserved, type, data,
                                 dataBytes);
  }
  if (valueName == nullptr || valueNameChars == nullptr) return ERROR_INVALID_PARAMETER;
  std::string name(kNarrowNameBytes, '\0');
  DWORD nameLength = 0;
  DWORD narrowType = 0;
  std::vector<BYTE> narrowData;
  // The data is read whenever its size is asked for: only the UTF-16 form
  // tells the size of string data.
  const auto read = [&](LPDWORD t, LPBYTE d, LPDWORD size) {
    nameLength = kNarrowNameBytes;
    return ::RegEnumValueA(key, index, name.data(), &nameLength, reserved, t, d, size);
  };
  const LSTATUS status = dataBytes != nullptr ? ReadNarrowData(read, narrowType, narrowData)
                                              : read(&narrowType, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const LSTATUS named =
      GiveName(name.data(), std::min(nameLength, kNarrowNameBytes), valueName, valueNameChars);
  if (named != ERROR_SUCCESS) return named;
  return GiveData(narrowType, WidenData(narrowType, std::move(narrowData)), type, data, dataBytes);
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime) {
  if (!Narrow()) {
    return Bound().RegEnumKeyExW(key, index, name, nameChars, reserved, keyClass, classChars,
                                 lastWriteTime);
  }
  if (name == nullptr || nameChars == nullptr) return ERROR_INVALID_PARAMETER;
  std::string narrowName(kNarrowNameBytes, '\0');
  std::string narrowClass(kNarrowNameBytes, '\0');
  DWORD nameLength = kNarrowNameBytes;
  DWORD classLength = kNarrowNameBytes;
  const LSTATUS status =
      ::RegEnumKeyExA(key, index, narrowName.data(), &nameLength, reserved,
                      keyClass != nullptr ? narrowClass.data() : nullptr,
                      keyClass != nullptr ? &classLength : nullptr, lastWriteTime);
  if (status != ERROR_SUCCESS) return status;
  const LSTATUS named =
      GiveName(narrowName.data(), std::min(nameLength, kNarrowNameBytes), name, nameChars);
  if (named != ERROR_SUCCESS) return named;
  return GiveName(narrowClass.data(), std::min(classLength, kNarrowNameBytes), keyClass,
                  classChars);
}

// --- USER32 ---

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
  if (!Narrow()) return Bound().LoadStringW(instance, id, buffer, bufferMax);
  if (buffer == nullptr) return 0;
  const auto text = FindStringInTable(instance, id);
  if (!text) return 0;
  if (bufferMax == 0) {
    // A read-only pointer to the text in the resource, not zero-terminated.
    *reinterpret_cast<const WCHAR**>(buffer) = text->data();
    return static_cast<int>(text->size());
  }
  if (bufferMax < 0) return 0;
  const int n = static_cast<int>(std::min(text->size(), static_cast<std::size_t>(bufferMax - 1)));
  if (n > 0) {
    std::copy_n(text->begin(), n, buffer);
    buffer[n] = L'\0';
  } else if (bufferMax > 1) {
    buffer[0] = L'\0';
  }
  return n;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  // Implemented on every system.
  return Bound().MessageBoxW(owner, text, caption, type);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Narrow()) return Bound().SendMessageW(window, message, wParam, lParam);
  switch (message) {
    case WM_SETTEXT:
      return SendNarrowText(window, message, wParam, lParam);
    case EM_REPLACESEL:
      // A rich edit control of the wide class reads its text as UTF-16 even
      // from the narrow function on Windows 95/98/ME.
      if (ClassNameStartsWith(window, "RichEdit")) {
        ReplaceRichEditSelection(window, reinterpret_cast<LPCWSTR>(lParam),
                                 static_cast<BOOL>(wParam));
        return 0;
      }
      return SendNarrowText(window, message, wParam, lParam);
    case SB_SETTEXTW:
      // A number that other classes use for other messages.
      if (ClassNameStartsWith(window, STATUSCLASSNAMEA)) {
        return SendNarrowText(window, SB_SETTEXTA, wParam, lParam);
      }
      break;
    case EM_SETCHARFORMAT:
      if (ClassNameStartsWith(window, "RichEdit")) {
        return SendNarrowCharFormat(window, wParam, lParam);
      }
      break;
    default:
      break;
  }
  return ::SendMessageA(window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Narrow()) return Bound().PostMessageW(window, message, wParam, lParam);
  return ::PostMessageA(window, message, wParam, lParam);
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  if (!Narrow()) return Bound().SetWindowLongPtrW(window, index, value);
  return ::SetWindowLongPtrA(window, index, value);
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  if (!Narrow()) return Bound().GetWindowLongPtrW(window, index);
  return ::GetWindowLongPtrA(window, index);
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR iconName) {
  if (!Narrow()) return Bound().LoadIconW(instance, iconName);
  const NarrowText n(iconName, true);
  if (!n.ok()) return NoTranslation<HICON>(nullptr);
  return ::LoadIconA(instance, n.get());
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  if (!Narrow()) return Bound().LoadImageW(instance, name, type, cx, cy, flags);
  const NarrowText n(name, true);
  if (!n.ok()) return NoTranslation<HANDLE>(nullptr);
  return ::LoadImageA(instance, n.get(), type, cx, cy, flags);
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (!Narrow()) {
    return Bound().CreateWindowExW(exStyle, className, windowName, style, x, y, width, height,
                                   parent, menu, instance, param);
  }
  const NarrowText windowClass(className, true);
  const NarrowText name(windowName);
  if (!windowClass.ok() || !name.ok()) return NoTranslation<HWND>(nullptr);
  return ::CreateWindowExA(exStyle, windowClass.get(), name.get(), style, x, y, width, height,
                           parent, menu, instance, param);
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!Narrow()) return Bound().SetWindowTextW(window, text);
  const NarrowText n(text);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetWindowTextA(window, n.get());
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  if (!Narrow()) return Bound().SetDlgItemTextW(dialog, id, text);
  const NarrowText n(text);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::SetDlgItemTextA(dialog, id, n.get());
}

int GetWindowTextW(HWND window, LPWSTR buffer, int bufferMax) {
  if (!Narrow()) return Bound().GetWindowTextW(window, buffer, bufferMax);
  return CopyTruncated(NarrowWindowText(window), buffer, bufferMax);
}

int GetWindowTextLengthW(HWND window) {
  if (!Narrow()) return Bound().GetWindowTextLengthW(window);
  // The narrow length counts bytes, two for a double-byte character.
  return static_cast<int>(NarrowWindowText(window).size());
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  if (!Narrow()) {
    return Bound().DialogBoxParamW(instance, templateName, owner, dialogProc, initParam);
  }
  const NarrowText n(templateName, true);
  if (!n.ok()) return NoTranslation<INT_PTR>(-1);
  return ::DialogBoxParamA(instance, n.get(), owner, dialogProc, initParam);
}

// --- GDI32 ---

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName) {
  if (!Narrow()) {
    return Bound().CreateFontW(height, width, escapement, orientation, weight, italic, underline,
                               strikeOut, charSet, outPrecision, clipPrecision, quality,
                               pitchAndFamily, faceName);
  }
  const NarrowText n(faceName);
  if (!n.ok()) return NoTranslation<HFONT>(nullptr);
  return ::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                       charSet, outPrecision, clipPrecision, quality, pitchAndFamily, n.get());
}

// --- Helpers ---

std::optional<std::string> ToAnsiExact(std::wstring_view text) { return ToAnsi(text); }

std::optional<std::u16string> LoadStringText(HINSTANCE instance, UINT id) {
  const auto text = FindStringInTable(instance, id);
  if (!text || text->empty()) return std::nullopt;
  return FromWide(text->data(), text->size());
}

std::u16string WindowText(HWND window) {
  if (Narrow()) {
    const std::wstring text = NarrowWindowText(window);
    return FromWide(text.data(), text.size());
  }
  const int length = api::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = api::GetWindowTextW(window, buffer.data(), length + 1);
  return FromWide(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

BOOL SetStatusBarText(HWND statusBar, int part, UINT type, LPCWSTR text) {
  const auto partAndType = static_cast<WPARAM>(static_cast<UINT>(part) | type);
  if (!Narrow()) {
    return Bound().SendMessageW(statusBar, SB_SETTEXTW, partAndType,
                                reinterpret_cast<LPARAM>(text)) != 0;
  }
  return SendNarrowText(statusBar, SB_SETTEXTA, partAndType, reinterpret_cast<LPARAM>(text)) != 0;
}

namespace {

// IsWindowUnicode, bound by name: it is not in every system's documented
// set of exports, and a missing import would keep the program from loading.
// A system without it has no wide windows.
using IsWindowUnicodeProc = BOOL(WINAPI*)(HWND);

BOOL WindowIsUnicode(HWND window) {
  static const IsWindowUnicodeProc isWindowUnicode =
      BindFunction<IsWindowUnicodeProc>(::GetModuleHandleA("USER32.DLL"), "IsWindowUnicode");
  return isWindowUnicode != nullptr && isWindowUnicode(window);
}

}  // namespace

BOOL ReplaceRichEditSelection(HWND richEdit, LPCWSTR text, BOOL canUndo) {
  if (text == nullptr) text = L"";
  SETTEXTEX setText{};
  setText.flags = ST_SELECTION | (canUndo ? ST_KEEPUNDO : 0);
  setText.codepage = 1200;
  // The code page, not the window, says what the text is: the same message
  // serves narrow and wide windows.
  const auto send = Narrow() ? ::SendMessageA : Bound().SendMessageW;
  const LRESULT copied = send(richEdit, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&setText),
                              reinterpret_cast<LPARAM>(text));
  if (copied != 0 || *text == L'\0') return TRUE;
  // Rich edit 2.0 does not know EM_SETTEXTEX and answers 0.
  if (!Narrow()) {
    Bound().SendMessageW(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    return TRUE;
  }
  // The narrow function passes the text unchanged to a control of the wide
  // class on Windows 95/98/ME, which reads it as UTF-16; only where the
  // system converts messages for wide windows (IsWindowUnicode) does it take
  // ANSI text, as the narrow class does.
  if (ClassNameStartsWith(richEdit, "RichEdit20W") && !WindowIsUnicode(richEdit)) {
    ::SendMessageA(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    return TRUE;
  }
  const NarrowText narrow(text);
  if (!narrow.ok()) return NoTranslation<BOOL>(FALSE);
  ::SendMessageA(richEdit, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(narrow.get()));
  return TRUE;
}

int RichEditTextLength(HWND richEdit) {
  GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  return static_cast<int>(
      api::SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

std::u16string RichEditText(HWND richEdit) {
  const int length = RichEditTextLength(richEdit);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  query.flags = GT_DEFAULT;
  query.codepage = 1200;
  const LRESULT n = api::SendMessageW(richEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  return FromWide(buffer.c_str(), static_cast<std::size_t>(std::clamp<LRESULT>(n, 0, length)));
}

BOOL SetRichEditCharFormat(HWND richEdit, WPARAM scope, const CHARFORMAT2W& format) {
  CHARFORMAT2W copy = format;
  copy.cbSize = sizeof copy;
  if (!Narrow()) {
    return Bound().SendMessageW(richEdit, EM_SETCHARFORMAT, scope,
                                reinterpret_cast<LPARAM>(&copy)) != 0;
  }
  return SendNarrowCharFormat(richEdit, scope, reinterpret_cast<LPARAM>(&copy)) != 0;
}

}  // namespace platform::win32::api

// --- Wide imports of the runtime ---
//
// The compiler's runtime (the mutexes of the exception unwinder and of
// emulated thread-local storage) creates unnamed semaphores with
// CreateSemaphoreW, which Windows 95/98/ME only have as a stub: there every
// such semaphore would be missing and a contended lock would not wait. The
// program supplies that import slot itself, so the runtime's calls reach
// CreateSemaphoreA on every system; the import library's entry is then never
// linked. The runtime never names its semaphores: a name is refused.
namespace {

HANDLE WINAPI CreateSemaphoreForRuntime(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                                        LONG maximumCount, LPCWSTR name) {
  if (name != nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return ::CreateSemaphoreA(attributes, initialCount, maximumCount, nullptr);
}

}  // namespace

#if defined(__i386__)
#define QRT_RUNTIME_CREATE_SEMAPHORE_SLOT "__imp__CreateSemaphoreW@16"
#else
#define QRT_RUNTIME_CREATE_SEMAPHORE_SLOT "__imp_CreateSemaphoreW"
#endif
extern "C" {
extern decltype(&CreateSemaphoreForRuntime)
    const runtimeCreateSemaphoreSlot __asm__(QRT_RUNTIME_CREATE_SEMAPHORE_SLOT);
decltype(&CreateSemaphoreForRuntime) const runtimeCreateSemaphoreSlot = CreateSemaphoreForRuntime;
}
