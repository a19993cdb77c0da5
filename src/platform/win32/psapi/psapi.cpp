// A Process Status Helper library for Windows NT 4, built over ntdll.dll.
// See README.md beside this file.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace {

using NtStatus = LONG;
constexpr NtStatus kStatusInfoLengthMismatch = static_cast<NtStatus>(0xC0000004);
constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kProcessBasicInformation = 0;
// Bounds of every walk, so that damaged data cannot make one endless.
constexpr ULONG kMaxProcessBuffer = 64u << 20;
constexpr int kMaxModules = 8192;

struct CountedString {  // UNICODE_STRING
  USHORT length;        // bytes, without a terminating zero
  USHORT maximumLength;
  PWSTR buffer;
};

// The start of a SYSTEM_PROCESS_INFORMATION entry, the same on NT 4 and later.
struct ProcessEntry {
  ULONG nextEntryOffset;
  ULONG numberOfThreads;
  LARGE_INTEGER reserved[3];
  LARGE_INTEGER createTime;
  LARGE_INTEGER userTime;
  LARGE_INTEGER kernelTime;
  CountedString imageName;
  LONG basePriority;
  HANDLE uniqueProcessId;
};

struct BasicInformation {  // PROCESS_BASIC_INFORMATION
  NtStatus exitStatus;
  void* pebBaseAddress;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR uniqueProcessId;
  ULONG_PTR inheritedFromUniqueProcessId;
};

// The parts of the process environment block and the loader data that the
// walk reads, laid out for the library's own word size.
struct ListEntry {
  ListEntry* forward;
  ListEntry* backward;
};
struct EnvironmentBlockStart {  // PEB
  BYTE flags[4];
  void* mutant;
  void* imageBaseAddress;
  void* loaderData;
};
struct LoaderData {  // PEB_LDR_DATA
  ULONG length;
  BOOLEAN initialized;
  void* ssHandle;
  ListEntry inLoadOrder;
};
struct LoaderEntry {  // LDR_DATA_TABLE_ENTRY
  ListEntry inLoadOrder;
  ListEntry inMemoryOrder;
  ListEntry inInitializationOrder;
  void* dllBase;
  void* entryPoint;
  ULONG sizeOfImage;
  CountedString fullDllName;
  CountedString baseDllName;
};
static_assert(offsetof(LoaderEntry, dllBase) == 3 * 2 * sizeof(void*));

using QuerySystemInformation = NtStatus(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryInformationProcess = NtStatus(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

// A function of ntdll.dll by name, or null.
template <typename Function>
Function NtFunction(const char* name) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const FARPROC found = ntdll != nullptr ? ::GetProcAddress(ntdll, name) : nullptr;
  // Through void (*)(), the one function pointer type meant for such casts.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The error code of a failed native call, as the Win32 functions report it.
void SetErrorFromStatus(NtStatus status) {
  using ToDosError = ULONG(WINAPI*)(NtStatus);
  auto convert = NtFunction<ToDosError>("RtlNtStatusToDosError");
  ::SetLastError(convert != nullptr ? convert(status) : ERROR_GEN_FAILURE);
}

bool ReadExactly(HANDLE process, const void* address, void* out, SIZE_T size) {
  SIZE_T read = 0;
  return ::ReadProcessMemory(process, address, out, size, &read) && read == size;
}

// Calls `visit(entry)` for each module of `process` in load order until it
// answers false. Answers false (with the last error set) when the loader data
// cannot be read.
template <typename Visit>
bool WalkModules(HANDLE process, Visit visit) {
  auto query = NtFunction<QueryInformationProcess>("NtQueryInformationProcess");
  if (query == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  BasicInformation basic{};
  const NtStatus status = query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr);
  if (status < 0) {
    SetErrorFromStatus(status);
    return false;
  }
  EnvironmentBlockStart peb{};
  LoaderData loader{};
  if (basic.pebBaseAddress == nullptr ||
      !ReadExactly(process, basic.pebBaseAddress, &peb, sizeof peb) || peb.loaderData == nullptr ||
      !ReadExactly(process, peb.loaderData, &loader, sizeof loader)) {
    if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_PARTIAL_COPY);
    return false;
  }
  const auto* head = reinterpret_cast<const ListEntry*>(static_cast<const BYTE*>(peb.loaderData) +
                                                        offsetof(LoaderData, inLoadOrder));
  const ListEntry* link = loader.inLoadOrder.forward;
  for (int count = 0; link != head && link != nullptr; ++count) {
    if (count == kMaxModules) break;
    LoaderEntry entry{};
    if (!ReadExactly(process, link, &entry, sizeof entry)) return false;
    if (!visit(entry)) return true;
    link = entry.inLoadOrder.forward;
  }
  return true;
}

// Finds the module whose base is `module` (the program's own module when it
// is null) and copies it out.
bool FindModule(HANDLE process, HMODULE module, LoaderEntry& found) {
  bool matched = false;
  const bool walked = WalkModules(process, [&](const LoaderEntry& entry) {
    if (module == nullptr || entry.dllBase == module) {
      found = entry;
      matched = true;
      return false;
    }
    return true;
  });
  if (walked && !matched) ::SetLastError(ERROR_INVALID_HANDLE);
  return walked && matched;
}

// Copies a counted string of another process into `out` (at most size - 1
// characters and a zero). Answers the characters copied, 0 on failure.
DWORD CopyName(HANDLE process, const CountedString& name, LPWSTR out, DWORD size) {
  if (out == nullptr || size == 0) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  DWORD characters = name.length / sizeof(WCHAR);
  if (characters > size - 1) characters = size - 1;
  if (characters > 0 &&
      !ReadExactly(process, name.buffer, out, static_cast<SIZE_T>(characters) * sizeof(WCHAR))) {
    out[0] = L'\0';
    return 0;
  }
  out[characters] = L'\0';
  return characters;
}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD cb, DWORD* bytesReturned) {
  auto query = NtFunction<QuerySystemInformation>("NtQuerySystemInformation");
  if (query == nullptr || bytesReturned == nullptr) {
    ::SetLastError(query == nullptr ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE heap = ::GetProcessHeap();
  ULONG size = 64 * 1024;
  BYTE* buffer = nullptr;
  NtStatus status = kStatusInfoLengthMismatch;
  while (status == kStatusInfoLengthMismatch && size <= kMaxProcessBuffer) {
    if (buffer != nullptr) ::HeapFree(heap, 0, buffer);
    buffer = static_cast<BYTE*>(::HeapAlloc(heap, 0, size));
    if (buffer == nullptr) {
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    status = query(kSystemProcessInformation, buffer, size, nullptr);
    if (status == kStatusInfoLengthMismatch) size *= 2;
  }
  if (status < 0) {
    ::HeapFree(heap, 0, buffer);
    SetErrorFromStatus(status);
    return FALSE;
  }
  const DWORD capacity = processIds != nullptr ? cb / sizeof(DWORD) : 0;
  DWORD count = 0;
  for (ULONG offset = 0; offset + sizeof(ProcessEntry) <= size;) {
    const auto* entry = reinterpret_cast<const ProcessEntry*>(buffer + offset);
    if (count < capacity) {
      processIds[count++] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->uniqueProcessId));
    }
    if (entry->nextEntryOffset == 0) break;
    offset += entry->nextEntryOffset;
  }
  ::HeapFree(heap, 0, buffer);
  *bytesReturned = count * sizeof(DWORD);
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    EnumProcessModules(HANDLE process, HMODULE* modules, DWORD cb, LPDWORD needed) {
  if (needed == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD capacity = modules != nullptr ? cb / sizeof(HMODULE) : 0;
  DWORD count = 0;
  const bool walked = WalkModules(process, [&](const LoaderEntry& entry) {
    if (count < capacity) modules[count] = static_cast<HMODULE>(entry.dllBase);
    ++count;
    return true;
  });
  if (!walked) return FALSE;
  *needed = count * sizeof(HMODULE);
  return TRUE;
}

__declspec(dllexport) DWORD WINAPI
    GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName, DWORD size) {
  LoaderEntry entry{};
  if (!FindModule(process, module, entry)) return 0;
  return CopyName(process, entry.baseDllName, baseName, size);
}

__declspec(dllexport) DWORD WINAPI
    GetModuleFileNameExW(HANDLE process, HMODULE module, LPWSTR fileName, DWORD size) {
  LoaderEntry entry{};
  if (!FindModule(process, module, entry)) return 0;
  return CopyName(process, entry.fullDllName, fileName, size);
}

struct ModuleInformation {  // MODULEINFO
  LPVOID lpBaseOfDll;
  DWORD SizeOfImage;
  LPVOID EntryPoint;
};

__declspec(dllexport) BOOL WINAPI
    GetModuleInformation(HANDLE process, HMODULE module, ModuleInformation* info, DWORD cb) {
  if (info == nullptr || cb < sizeof(ModuleInformation)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  LoaderEntry entry{};
  if (!FindModule(process, module, entry)) return FALSE;
  info->lpBaseOfDll = entry.dllBase;
  info->SizeOfImage = entry.sizeOfImage;
  info->EntryPoint = entry.entryPoint;
  return TRUE;
}

}  // extern "C"
