// The program's one way to the operating system, by area: each area is an
// interface of its own header (runtime.h, resources.h, user_interface.h,
// folders.h, files.h, registry.h, profile_files.h, processes.h, network.h),
// and System hands them out.
//
// Every operation stands for one system call that the program makes and is
// named after it, with C++ types in place of Windows ones. The layer holds no
// policy: orders, limits, texts, fallbacks and retries live in the callers.
// Names that <windows.h> turns into macros (LoadString, MessageBox,
// CreateMutex, ...) are avoided.
//
// Backends: platform/win32 (the real system; the only one in the Windows
// programs) and platform/fake (an in-memory Windows for tests).
//
// Not thread-safe unless an operation says so; the program calls it from the
// window's thread during start-up.
#pragma once

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/network.h"
#include "platform/processes.h"
#include "platform/profile_files.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/runtime.h"
#include "platform/types.h"
#include "platform/user_interface.h"

namespace platform {

// The areas of one backend. A backend derives from it and hands the areas it
// owns to the constructor; they must outlive the System.
class System {
 public:
  virtual ~System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  Runtime& runtime() { return runtime_; }
  Resources& resources() { return resources_; }
  UserInterface& ui() { return ui_; }
  Folders& folders() { return folders_; }
  Files& files() { return files_; }
  Registry& registry() { return registry_; }
  ProfileFiles& profileFiles() { return profileFiles_; }
  Processes& processes() { return processes_; }
  Network& network() { return network_; }

 protected:
  System(Runtime& runtime, Resources& resources, UserInterface& ui, Folders& folders, Files& files,
         Registry& registry, ProfileFiles& profileFiles, Processes& processes, Network& network)
      : runtime_(runtime),
        resources_(resources),
        ui_(ui),
        folders_(folders),
        files_(files),
        registry_(registry),
        profileFiles_(profileFiles),
        processes_(processes),
        network_(network) {}

 private:
  Runtime& runtime_;
  Resources& resources_;
  UserInterface& ui_;
  Folders& folders_;
  Files& files_;
  Registry& registry_;
  ProfileFiles& profileFiles_;
  Processes& processes_;
  Network& network_;
};

}  // namespace platform
