#include "handlers/builtin_handlers.h"

namespace handlers {

std::vector<std::unique_ptr<descriptions::MalwareHandler>> CreateBuiltInHandlers() {
  std::vector<std::unique_ptr<descriptions::MalwareHandler>> table;
  return table;
}

}  // namespace handlers
