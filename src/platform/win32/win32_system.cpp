#include "platform/win32/win32_system.h"

#include "platform/win32/areas.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

// The areas of the Win32 system, made before the System that hands them out.
struct Win32Areas {
  explicit Win32Areas(HINSTANCE module)
      : runtime(MakeRuntime(module)),
        resources(MakeResources(module)),
        ui(MakeUserInterface(module)),
        folders(MakeFolders()),
        files(MakeFiles()),
        registry(MakeRegistry()),
        profileFiles(MakeProfileFiles()),
        processes(MakeProcesses()),
        network(MakeNetwork()) {}

  std::unique_ptr<Runtime> runtime;
  std::unique_ptr<Resources> resources;
  std::unique_ptr<UserInterface> ui;
  std::unique_ptr<Folders> folders;
  std::unique_ptr<Files> files;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<ProfileFiles> profileFiles;
  std::unique_ptr<Processes> processes;
  std::unique_ptr<Network> network;
};

class Win32System final : private Win32Areas, public System {
 public:
  explicit Win32System(HINSTANCE module)
      : Win32Areas(module),
        System(*Win32Areas::runtime, *Win32Areas::resources, *Win32Areas::ui, *Win32Areas::folders,
               *Win32Areas::files, *Win32Areas::registry, *Win32Areas::profileFiles,
               *Win32Areas::processes, *Win32Areas::network) {}
};

}  // namespace

std::unique_ptr<System> CreateSystem() {
  return std::make_unique<Win32System>(api::GetModuleHandleW(nullptr));
}

}  // namespace platform::win32
