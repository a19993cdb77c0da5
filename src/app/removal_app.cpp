#include "app/removal_app.h"

#include "app/main_window.h"
#include "app/program.h"
#include "common/codes.h"
#include "common/string_ids.h"
#include "platform/entry.h"
#include "resource_ids.h"
#include "scan/texts.h"

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

RemovalApp::RemovalApp(platform::System& system, engine::ScannerTable& scanners,
                       handlers::BuiltInHandlerTable builtIns)
    : system_(system), scanners_(scanners), builtIns_(std::move(builtIns)) {}

bool RemovalApp::Initialise() {
  const platform::MutexResult mutex = system_.runtime().CreateNamedMutex(kInstanceMutexName, true);
  instanceMutex = mutex.handle;
  if (mutex.handle == 0)
    system_.runtime().ExitProcess(codes::ToInt(codes::ExitStatus::kMutexFailed));
  if (mutex.lastError == platform::kErrorAlreadyExists) {
    system_.ui().ShowMessageBox(0, scan::LoadText(system_, strings::kAlreadyRunning),
                                scan::LoadText(system_, strings::kErrorCaption), platform::kMbOk);
    system_.runtime().ExitProcess(codes::ToInt(codes::ExitStatus::kAlreadyRunning));
  }

  if (richEditState.library == 0)
    richEditState.library = system_.runtime().LoadLibraryAnsi("RICHED20.DLL");

  {
    RemovalDialog mainWindow(system_, scanners_, std::move(builtIns_));
    exitStatus_ = system_.ui().RunModalDialog(QRT_IDD_MAIN, 0, mainWindow);
  }

  if (richEditState.library != 0) {
    system_.runtime().FreeLibraryHandle(richEditState.library);
    richEditState.library = 0;
  }
  return false;
}

int ProgramMain(platform::System& system) {
  // The process-wide objects in their order: the built-in handler table, then
  // the scanner table, whose making creates the system context; then the
  // application. They go in the reverse order when the run is over.
  handlers::BuiltInHandlerTable builtIns = handlers::CreateBuiltInHandlers();
  engine::ScannerTable scanners(system);
  RemovalApp application(system, scanners, std::move(builtIns));
  application.Initialise();
  return application.exitStatus();
}

}  // namespace app

int platform::ProgramEntry(platform::System& system) { return app::ProgramMain(system); }
