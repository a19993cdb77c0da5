#include "platform/system.h"

#include <cstdlib>

namespace platform {
namespace {
System* current = nullptr;
}  // namespace

System& Current() {
  // Using the core before a system is installed is a programming error.
  if (current == nullptr) std::abort();
  return *current;
}

void Install(System* system) { current = system; }

}  // namespace platform
