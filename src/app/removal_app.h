// The application object: the single-instance guard, the rich edit library
// and the modal run of the main window, which is the program's only message
// loop.
#pragma once

#include "common/codes.h"
#include "engine/scanner_table.h"
#include "handlers/builtin_handlers.h"
#include "platform/system.h"

namespace app {

// The name of the mutex that keeps a second copy from running.
inline constexpr char16_t kInstanceMutexName[] = u"QARTO_REMOVALGUI";

class RemovalApp {
 public:
  // Takes the process-wide objects that start-up made before it: the
  // scanner table (with the system context) and the built-in handlers,
  // which the main window's engine takes over.
  RemovalApp(platform::System& system, engine::ScannerTable& scanners,
             handlers::BuiltInHandlerTable builtIns);
  RemovalApp(const RemovalApp&) = delete;
  RemovalApp& operator=(const RemovalApp&) = delete;

  // Takes the single-instance mutex (ending the process with
  // ExitStatus::kMutexFailed when it cannot be made, or with
  // ExitStatus::kAlreadyRunning after a message when another copy holds it),
  // loads the rich edit library once, and runs the main window modally.
  // Answers false in every case: no message loop follows.
  bool Initialise();

  // The end code of the main window's modal run: the process exit status.
  int exitStatus() const { return exitStatus_; }

 private:
  platform::System& system_;
  engine::ScannerTable& scanners_;
  handlers::BuiltInHandlerTable builtIns_;
  int exitStatus_ = codes::ToInt(codes::WindowEndCode::kNormal);
};

}  // namespace app
