// The application object: the single-instance guard, the rich edit library
// and the modal run of the main window, which is the program's only message
// loop.
#pragma once

#include "platform/system.h"

namespace app {

// The name of the mutex that keeps a second copy from running.
inline constexpr char16_t kInstanceMutexName[] = u"QARTO_REMOVALGUI";

// Process exit statuses of the start-up.
inline constexpr int kExitMutexFailed = -1;
inline constexpr int kExitAlreadyRunning = -3;

class RemovalApp {
 public:
  // Clears the process-wide rebootRequired flag.
  explicit RemovalApp(platform::System& system);
  RemovalApp(const RemovalApp&) = delete;
  RemovalApp& operator=(const RemovalApp&) = delete;

  // Takes the single-instance mutex (ending the process with -1 when it
  // cannot be made, or with -3 after a message when another copy holds it),
  // loads the rich edit library once, and runs the main window modally.
  // Answers false in every case: no message loop follows.
  bool Initialise();

  // The end code of the main window's modal run: the process exit status.
  int exitStatus() const { return exitStatus_; }

 private:
  platform::System& system_;
  int exitStatus_ = 0;
};

}  // namespace app
