// The built-in malware handlers: malware whose removal goes beyond what the
// description script can say. This file answers "what is built in?".
#pragma once

#include <memory>
#include <vector>

#include "scan/malware_handler.h"

namespace handlers {

// The built-in handler table, in its fixed order: Sober.J, Sober.P,
// Sober.Y, W32/Stanit.
using BuiltInHandlerTable = std::vector<std::unique_ptr<scan::MalwareHandler>>;

// Makes the built-in handlers. The program does this first at start, before
// the scanners and the description script; the scan engine takes them over
// and puts them at the head of its handler list.
BuiltInHandlerTable CreateBuiltInHandlers();

}  // namespace handlers
