// The registry: keys and values.
#pragma once

namespace platform {

class Registry {
 public:
  virtual ~Registry() = default;
};

}  // namespace platform
