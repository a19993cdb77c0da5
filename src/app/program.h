// The whole program run: the process-wide objects in their order, the
// application object and its initialisation. Answers the process's exit
// status (the main window's end code) unless the process was ended earlier.
#pragma once

#include "platform/system.h"

namespace app {

int ProgramMain(platform::System& system);

}  // namespace app
