// The areas of the Win32 backend, one source each (runtime.cpp,
// resources.cpp, user_interface.cpp, folders.cpp, files.cpp, registry.cpp,
// profile_files.cpp, processes.cpp, network.cpp); win32_system.cpp
// assembles them into the System.
#pragma once

#include <memory>

#include "platform/system.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// `module` is the program's own module (the executable).
std::unique_ptr<Runtime> MakeRuntime(HINSTANCE module);
std::unique_ptr<Resources> MakeResources(HINSTANCE module);
std::unique_ptr<UserInterface> MakeUserInterface(HINSTANCE module);
std::unique_ptr<Folders> MakeFolders();
std::unique_ptr<Files> MakeFiles();
std::unique_ptr<Registry> MakeRegistry();
std::unique_ptr<ProfileFiles> MakeProfileFiles();
std::unique_ptr<Processes> MakeProcesses();
std::unique_ptr<Network> MakeNetwork();

}  // namespace platform::win32
