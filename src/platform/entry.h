// The program behind a Windows entry point: the backend's entry point makes
// the system and calls this, which the program defines; its answer is the
// process's exit status.
#pragma once

#include "platform/system.h"

namespace platform {

int ProgramEntry(System& system);

}  // namespace platform
