// The built-in malware handlers: malware whose removal goes beyond what the
// description script can say. This file answers "what is built in?".
#pragma once

#include <memory>
#include <vector>

#include "descriptions/malware_handler.h"

namespace handlers {

// Makes the built-in handlers in their fixed order. The program does this at
// start, before the description script is read; the scan engine takes them
// over and puts them at the head of its handler list. Each handler arrives
// here together with its removal.
std::vector<std::unique_ptr<descriptions::MalwareHandler>> CreateBuiltInHandlers();

}  // namespace handlers
