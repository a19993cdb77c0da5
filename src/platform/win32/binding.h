// GetProcAddress as a typed function pointer: the one way the Win32 backend
// binds a function by name at run time.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// The export `name` of `library` as a `Function` pointer; null when the
// handle is 0 or the library lacks the export.
template <typename Function>
Function BindFunction(Handle library, std::string_view name) {
  if (library == 0) return nullptr;
  const std::string n(name);
  const FARPROC proc = ::GetProcAddress(FromHandle<HINSTANCE__>(library), n.c_str());
  // Through void(*)() so that the compiler accepts the change of signature.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace platform::win32
