#include "handlers/builtin_handlers.h"

#include "handlers/sober_handlers.h"
#include "handlers/stanit_handler.h"

namespace handlers {

BuiltInHandlerTable CreateBuiltInHandlers() {
  BuiltInHandlerTable table;
  table.push_back(std::make_unique<SoberJHandler>());
  table.push_back(std::make_unique<SoberPHandler>());
  table.push_back(std::make_unique<SoberYHandler>());
  table.push_back(std::make_unique<StanitHandler>());
  return table;
}

}  // namespace handlers
