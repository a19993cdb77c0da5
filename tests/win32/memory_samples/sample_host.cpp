// The host program of the memory scanner's tests: loads at most one DLL and
// waits, nothing else. It imports only from KERNEL32.DLL and has no console.
//   HOST READY QUIT RESERVE [DLL]
// READY and QUIT are inherited event handles, RESERVE an address, all three
// in decimal. With RESERVE not 0, 1 MB there is reserved first, so that a
// DLL that prefers that address is placed elsewhere by the loader. After
// loading DLL the host sets READY and waits until QUIT is set, at most 60
// seconds, so that no host outlives its test for long.
// Exit codes: 0, 1 when DLL cannot be loaded, 2 when RESERVE cannot be
// reserved.
#include <windows.h>

namespace {

constexpr DWORD kLifetime = 60000;
constexpr SIZE_T kReserved = 0x100000;

const wchar_t* SkipBlanks(const wchar_t* s) {
  while (*s == L' ' || *s == L'\t') ++s;
  return s;
}

// The arguments after the program's name, quoted or not.
const wchar_t* Arguments(const wchar_t* s) {
  if (*s == L'"') {
    ++s;
    while (*s != 0 && *s != L'"') ++s;
    if (*s == L'"') ++s;
  } else {
    while (*s != 0 && *s != L' ' && *s != L'\t') ++s;
  }
  return SkipBlanks(s);
}

// Reads a decimal number and the blanks after it.
const wchar_t* Number(const wchar_t* s, ULONG_PTR& value) {
  value = 0;
  for (; *s >= L'0' && *s <= L'9'; ++s) value = value * 10 + static_cast<ULONG_PTR>(*s - L'0');
  return SkipBlanks(s);
}

}  // namespace

extern "C" void HostMain() {
  ULONG_PTR ready = 0;
  ULONG_PTR quit = 0;
  ULONG_PTR reserve = 0;
  const wchar_t* s = Arguments(::GetCommandLineW());
  s = Number(s, ready);
  s = Number(s, quit);
  s = Number(s, reserve);
  if (reserve != 0 && ::VirtualAlloc(reinterpret_cast<void*>(reserve), kReserved, MEM_RESERVE,
                                     PAGE_NOACCESS) == nullptr) {
    ::ExitProcess(2);
  }
  if (*s != 0 && ::LoadLibraryW(s) == nullptr) ::ExitProcess(1);
  ::SetEvent(reinterpret_cast<HANDLE>(ready));
  ::WaitForSingleObject(reinterpret_cast<HANDLE>(quit), kLifetime);
  ::ExitProcess(0);
}
