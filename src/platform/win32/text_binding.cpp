// The text binding's table: the wide functions bound by name once, the
// family decided once, and the entry points, each a forwarder to what the
// table holds (the wide function, or on Windows 95/98/ME its narrow
// adapter). See text_api.h for what the entry points answer and
// text_functions.h for the list they are made from.
#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

#include "platform/win32/binding.h"
#include "platform/win32/text_functions.h"

namespace platform::win32::api {
namespace {

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

// One pointer per function: the wide functions as bound, or what the entry
// points call.
struct FunctionTable {
#define QRT_MEMBER(module, name, R, failure, ...) name##Function name = nullptr;
  QRT_WIDE_FUNCTIONS(QRT_MEMBER)
#undef QRT_MEMBER
};

constexpr std::string_view kWideFunctionNames[] = {
#define QRT_NAME(module, name, R, failure, ...) QRT_EXPORT_NAME(name),
    QRT_WIDE_FUNCTIONS(QRT_NAME)
#undef QRT_NAME
};

struct State {
  Family systemFamily = Family::kNt;
  Family family = Family::kNt;
  bool stubs = false;
  // The wide functions (or their stubs).
  FunctionTable wide;
  // What the entry points call, chosen for `family`.
  FunctionTable calls;
};

// The table of `family`: the wide functions, and on Windows 95/98/ME the
// narrow adapters in place of those that have one.
FunctionTable CallsOf(Family family, const FunctionTable& wide) {
  FunctionTable calls = wide;
  if (family == Family::kWindows9x) {
#define QRT_ADAPT(module, name, R, failure, ...) calls.name = &narrow::name;
    QRT_ADAPTED_FUNCTIONS(QRT_ADAPT)
#undef QRT_ADAPT
  }
  return calls;
}

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
#define QRT_BIND(module, name, R, failure, ...) \
  state.wide.name =                             \
      BindWide<name##Function>(modules[module], QRT_EXPORT_NAME(name), &name##Stub, state.stubs);
  QRT_WIDE_FUNCTIONS(QRT_BIND)
#undef QRT_BIND
  state.calls = CallsOf(state.family, state.wide);
  return state;
}

State& TheState() {
  static State state = MakeState();
  return state;
}

const FunctionTable& Calls() { return TheState().calls; }

FARPROC AsFarProc(void (*function)()) { return reinterpret_cast<FARPROC>(function); }

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
  state.calls = CallsOf(state.family, state.wide);
}

bool StubsBoundForTests() { return TheState().stubs; }

std::span<const std::string_view> WideFunctionNamesForTests() { return kWideFunctionNames; }

FARPROC BoundWideFunctionForTests(std::string_view exportName) {
  const FunctionTable& wide = TheState().wide;
#define QRT_FIND(module, name, R, failure, ...)                \
  if (exportName == QRT_EXPORT_NAME(name)) {                   \
    return AsFarProc(reinterpret_cast<void (*)()>(wide.name)); \
  }
  QRT_WIDE_FUNCTIONS(QRT_FIND)
#undef QRT_FIND
  return nullptr;
}

// --- The entry points ---
//
// Each takes the parameters of its wide function, named p1, p2, ... here
// (QRT_PARAMS), and passes them on (QRT_ARGS) to what the table holds.

#define QRT_COUNT(...) \
  QRT_COUNT_OF(__VA_ARGS__ __VA_OPT__(, ) 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define QRT_COUNT_OF(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, n, ...) n
#define QRT_CAT(a, b) QRT_CAT_OF(a, b)
#define QRT_CAT_OF(a, b) a##b
#define QRT_PARAMS(...) QRT_CAT(QRT_PARAMS_, QRT_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define QRT_ARGS(...) QRT_CAT(QRT_ARGS_, QRT_COUNT(__VA_ARGS__))
#define QRT_PARAMS_0()
#define QRT_PARAMS_1(t1) t1 p1
#define QRT_PARAMS_2(t1, t2) QRT_PARAMS_1(t1), t2 p2
#define QRT_PARAMS_3(t1, t2, t3) QRT_PARAMS_2(t1, t2), t3 p3
#define QRT_PARAMS_4(t1, t2, t3, t4) QRT_PARAMS_3(t1, t2, t3), t4 p4
#define QRT_PARAMS_5(t1, t2, t3, t4, t5) QRT_PARAMS_4(t1, t2, t3, t4), t5 p5
#define QRT_PARAMS_6(t1, t2, t3, t4, t5, t6) QRT_PARAMS_5(t1, t2, t3, t4, t5), t6 p6
#define QRT_PARAMS_7(t1, t2, t3, t4, t5, t6, t7) QRT_PARAMS_6(t1, t2, t3, t4, t5, t6), t7 p7
#define QRT_PARAMS_8(t1, t2, t3, t4, t5, t6, t7, t8) QRT_PARAMS_7(t1, t2, t3, t4, t5, t6, t7), t8 p8
#define QRT_PARAMS_9(t1, t2, t3, t4, t5, t6, t7, t8, t9) \
  QRT_PARAMS_8(t1, t2, t3, t4, t5, t6, t7, t8), t9 p9
#define QRT_PARAMS_10(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10) \
  QRT_PARAMS_9(t1, t2, t3, t4, t5, t6, t7, t8, t9), t10 p10
#define QRT_PARAMS_11(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11) \
  QRT_PARAMS_10(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10), t11 p11
#define QRT_PARAMS_12(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12) \
  QRT_PARAMS_11(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11), t12 p12
#define QRT_PARAMS_13(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12, t13) \
  QRT_PARAMS_12(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12), t13 p13
#define QRT_PARAMS_14(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12, t13, t14) \
  QRT_PARAMS_13(t1, t2, t3, t4, t5, t6, t7, t8, t9, t10, t11, t12, t13), t14 p14
#define QRT_ARGS_0
#define QRT_ARGS_1 p1
#define QRT_ARGS_2 QRT_ARGS_1, p2
#define QRT_ARGS_3 QRT_ARGS_2, p3
#define QRT_ARGS_4 QRT_ARGS_3, p4
#define QRT_ARGS_5 QRT_ARGS_4, p5
#define QRT_ARGS_6 QRT_ARGS_5, p6
#define QRT_ARGS_7 QRT_ARGS_6, p7
#define QRT_ARGS_8 QRT_ARGS_7, p8
#define QRT_ARGS_9 QRT_ARGS_8, p9
#define QRT_ARGS_10 QRT_ARGS_9, p10
#define QRT_ARGS_11 QRT_ARGS_10, p11
#define QRT_ARGS_12 QRT_ARGS_11, p12
#define QRT_ARGS_13 QRT_ARGS_12, p13
#define QRT_ARGS_14 QRT_ARGS_13, p14

// A forwarder, and a check that it is the function text_api.h declares (a
// different signature would be a second overload).
#define QRT_FORWARD(module, name, R, failure, ...)                                \
  R name(QRT_PARAMS(__VA_ARGS__)) { return Calls().name(QRT_ARGS(__VA_ARGS__)); } \
  static_assert(std::is_same_v<decltype(&name), R (*)(__VA_ARGS__)>);
QRT_WIDE_FUNCTIONS(QRT_FORWARD)
#undef QRT_FORWARD

}  // namespace platform::win32::api
