// GetProcAddress as a typed function pointer: the one way the Win32 backend
// binds a function by name at run time.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// The export `name` of `module` as a `Function` pointer; null when the
// module is null or lacks the export.
template <typename Function>
Function BindFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  const FARPROC proc = ::GetProcAddress(module, name);
  // Through void(*)() so that the compiler accepts the change of signature.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// The same for a library handle of the platform layer (0 for none).
template <typename Function>
Function BindFunction(Handle library, std::string_view name) {
  return BindFunction<Function>(FromHandle<HINSTANCE__>(library), std::string(name).c_str());
}

}  // namespace platform::win32
