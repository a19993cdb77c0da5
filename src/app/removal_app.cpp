#include "app/removal_app.h"

#include "app/main_window.h"
#include "app/program.h"
#include "app/texts.h"
#include "common/process_flags.h"
#include "detect/system_context.h"
#include "resource_ids.h"

namespace app {
namespace {

// The mutex is held until the process ends; the system releases it then.
platform::Handle instanceMutex = 0;

// The rich edit library is loaded once per process.
struct RichEditState {
  platform::Handle library = 0;
};
RichEditState richEditState;

}  // namespace

RemovalApp::RemovalApp(platform::System& system) : system_(system) {
  flags::rebootRequired = false;
}

bool RemovalApp::Initialise() {
  const platform::MutexResult mutex = system_.CreateNamedMutex(kInstanceMutexName, true);
  instanceMutex = mutex.handle;
  if (mutex.handle == 0) system_.ExitProcess(kExitMutexFailed);
  if (mutex.lastError == platform::kErrorAlreadyExists) {
    system_.ShowMessageBox(0, LoadText(system_, kStrAlreadyRunning),
                           LoadText(system_, kStrErrorCaption), platform::kMbOk);
    system_.ExitProcess(kExitAlreadyRunning);
  }

  if (richEditState.library == 0) richEditState.library = system_.LoadLibraryAnsi("RICHED20.DLL");

  {
    RemovalDialog mainWindow(system_);
    exitStatus_ = system_.RunModalDialog(QRT_IDD_MAIN, 0, mainWindow);
  }

  if (richEditState.library != 0) {
    system_.FreeLibraryHandle(richEditState.library);
    richEditState.library = 0;
  }
  return false;
}

int ProgramMain(platform::System& system) {
  // The process-wide objects come first: the built-in handler table and the
  // scanner table (with the system context) join here as they are built.
  RemovalApp application(system);
  application.Initialise();
  // The system context (made on first use by the scanners and the engine
  // set-up) releases its libraries before the program ends.
  detect::DestroySystemContext();
  return application.exitStatus();
}

}  // namespace app
