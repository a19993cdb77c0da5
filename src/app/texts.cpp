#include "app/texts.h"

namespace app {

std::u16string LoadText(platform::System& system, std::uint32_t id) {
  return system.resources().LoadStringResource(id).value_or(std::u16string());
}

}  // namespace app
