// script-check: parses a description script file the way the program parses
// its built-in script, for script authors. The entry points (main_native.cpp,
// main_windows.cpp) choose the system it runs on and call Run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/system.h"

namespace script_check {

// Exit statuses.
inline constexpr int kExitValid = 0;
inline constexpr int kExitParseError = 20;
inline constexpr int kExitUsage = 2;

// Runs the tool on `system` with the arguments after the program name;
// answers the exit status.
int Run(platform::System& system, const std::vector<std::u16string>& args, std::ostream& out,
        std::ostream& err);

}  // namespace script_check
