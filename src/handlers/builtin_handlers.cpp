#include "handlers/builtin_handlers.h"

namespace handlers {

BuiltInHandlerTable CreateBuiltInHandlers() { return {}; }

}  // namespace handlers
