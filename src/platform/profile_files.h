// Profile files: win.ini, system.ini and WININIT.INI.
#pragma once

namespace platform {

class ProfileFiles {
 public:
  virtual ~ProfileFiles() = default;
};

}  // namespace platform
