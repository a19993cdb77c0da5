// Flags that the whole process shares. Each is written by one thread and
// only needs to be seen eventually by the others.
#pragma once

#include <atomic>

namespace flags {

// A removal was left for the next system start; the exit path then offers a
// reboot. Only ever goes from false to true during a run.
inline std::atomic<bool> rebootRequired{false};

}  // namespace flags
