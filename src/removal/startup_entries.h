// Deleting the start-up values that name a file: one routine over the
// removal operations, and the two places it is asked to look, side by side:
//
//                      built-in handlers             the script's REMOVE_RUN_REG
//   roots, in order    HKEY_LOCAL_MACHINE,           HKEY_LOCAL_MACHINE, then
//                      HKEY_CURRENT_USER             every profile of HKEY_USERS
//   keys under each    Run, RunOnce                  Run, RunOnce, RunOnceEx,
//   root, in order                                   RunServices, RunServicesOnce,
//                                                    RunServicesOnceEx
//   a failed deletion  is passed over                ends the cleaning
//
// Under every key, in listing order, each REG_SZ value whose data was read
// whole and holds the file name (without regard to case) is deleted.
#pragma once

#include <span>
#include <string_view>

#include "common/codes.h"
#include "platform/registry.h"
#include "scan/removal_operations.h"

namespace removal {

enum class StartupRoot {
  kLocalMachine,      // HKEY_LOCAL_MACHINE
  kCurrentUser,       // HKEY_CURRENT_USER
  kEveryUserProfile,  // each subkey of HKEY_USERS, in listing order
};

// Where a cleaning looks: every key of `keys` under each root of `roots`.
struct StartupKeys {
  std::span<const StartupRoot> roots;
  std::span<const std::u16string_view> keys;
  // A deletion that fails ends the cleaning (kNotCleaned).
  bool failureEnds = false;
};

inline constexpr StartupRoot kBuiltInStartupRoots[] = {StartupRoot::kLocalMachine,
                                                       StartupRoot::kCurrentUser};
inline constexpr std::u16string_view kBuiltInStartupSubkeys[] = {
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
};

inline constexpr StartupRoot kScriptStartupRoots[] = {StartupRoot::kLocalMachine,
                                                      StartupRoot::kEveryUserProfile};
inline constexpr std::u16string_view kScriptStartupSubkeys[] = {
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnceEx",
};

inline constexpr StartupKeys kBuiltInStartupKeys{kBuiltInStartupRoots, kBuiltInStartupSubkeys,
                                                 false};
inline constexpr StartupKeys kScriptStartupKeys{kScriptStartupRoots, kScriptStartupSubkeys, true};

// Deletes the start-up values naming `fileName` under the keys of `where`,
// listing and deleting through `operations`; `registry` lists the profiles
// of HKEY_USERS. kNotCleaned for an empty name (it is in every value),
// when the profiles cannot be listed, or when a deletion failed and
// `where.failureEnds`; else kCleaned.
codes::RunEntriesResult RemoveStartupValues(scan::RemovalOperations& operations,
                                            platform::Registry& registry, const StartupKeys& where,
                                            std::u16string_view fileName);

}  // namespace removal
