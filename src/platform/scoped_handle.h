// A handle that is closed with Runtime::CloseHandle when it goes out of
// scope.
#pragma once

#include <utility>

#include "platform/runtime.h"
#include "platform/types.h"

namespace platform {

class ScopedHandle {
 public:
  // Owns no handle.
  ScopedHandle() = default;
  // Owns `handle` (0 for none), which `runtime` closes.
  ScopedHandle(Runtime& runtime, Handle handle) : runtime_(&runtime), handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) noexcept
      : runtime_(other.runtime_), handle_(std::exchange(other.handle_, 0)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      runtime_ = other.runtime_;
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  Handle get() const { return handle_; }

  // Closes the handle now (nothing when there is none).
  void Close() {
    if (handle_ != 0) runtime_->CloseHandle(std::exchange(handle_, 0));
  }

 private:
  Runtime* runtime_ = nullptr;
  Handle handle_ = 0;
};

}  // namespace platform
