// The pieces of the C++ runtime that the shipped program brings itself, so
// that it links none of the compiler's prebuilt library code that needs a
// newer processor than an i486 (that code is built for the Pentium Pro and
// uses its conditional moves). Linked into the shipped program only, which is
// built without exceptions and run-time type information:
//  - operator new and delete over the C runtime's heap; the program cannot go
//    on without memory, so a failed allocation ends it (as the uncaught
//    std::bad_alloc of an exceptions build would);
//  - the library's error reports (std::__throw_*), which end the program:
//    nothing in it catches them;
//  - the guards of function-local statics, thread-safe across the program's
//    threads and reentrant for a static whose initialisation reaches another;
//  - the 64-bit count of trailing zero bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/win32/windows_api.h"

namespace {

[[noreturn]] void OutOfMemory() { std::abort(); }

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) OutOfMemory();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

// The library's own names: the headers call them where an exceptions build
// would throw.
namespace std {
[[noreturn]] void __throw_bad_alloc() { OutOfMemory(); }
[[noreturn]] void __throw_bad_array_new_length() { OutOfMemory(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_bad_function_call() { std::abort(); }
}  // namespace std

namespace {

// One lock for every guarded initialisation, held by one thread at a time
// and reentrant for it. InterlockedExchange and Sleep exist on every Win32
// system; the count and owner are only touched by the thread holding the lock.
volatile LONG guardLock = 0;
DWORD guardOwner = 0;
int guardDepth = 0;

bool Initialised(const std::uint64_t* guard) {
  return *reinterpret_cast<const volatile std::uint8_t*>(guard) != 0;
}

void Lock() {
  const DWORD self = GetCurrentThreadId();
  if (guardDepth > 0 && guardOwner == self) {
    ++guardDepth;
    return;
  }
  while (InterlockedExchange(&guardLock, 1) != 0) Sleep(0);
  guardOwner = self;
  guardDepth = 1;
}

void Unlock() {
  if (--guardDepth > 0) return;
  guardOwner = 0;
  InterlockedExchange(&guardLock, 0);
}

}  // namespace

// The guard is 64 bits; its first byte tells that the static is made.
extern "C" int __cxa_guard_acquire(std::uint64_t* guard) {
  if (Initialised(guard)) return 0;
  Lock();
  if (Initialised(guard)) {
    Unlock();
    return 0;
  }
  return 1;
}

extern "C" void __cxa_guard_release(std::uint64_t* guard) {
  *reinterpret_cast<volatile std::uint8_t*>(guard) = 1;
  Unlock();
}

extern "C" void __cxa_guard_abort(std::uint64_t*) { Unlock(); }

extern "C" int __ctzdi2(std::uint64_t value) {
  const auto low = static_cast<std::uint32_t>(value);
  return low != 0 ? __builtin_ctz(low)
                  : 32 + __builtin_ctz(static_cast<std::uint32_t>(value >> 32));
}
