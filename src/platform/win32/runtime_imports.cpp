// The import slot of CreateSemaphoreW that the program supplies for the
// compiler's runtime.
//
// The compiler's runtime (the mutexes of the exception unwinder and of
// emulated thread-local storage) creates unnamed semaphores with
// CreateSemaphoreW, which Windows 95/98/ME only have as a stub: there every
// such semaphore would be missing and a contended lock would not wait. The
// program supplies that import slot itself, so the runtime's calls reach
// CreateSemaphoreA on every system; the import library's entry is then never
// linked. The runtime never names its semaphores: a name is refused.
//
// Every program that links the backend compiles this file itself (an
// interface source of the backend's library): nothing but the runtime names
// the slot, and a library member that nothing names is never linked.
#include "platform/win32/windows_api.h"

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
