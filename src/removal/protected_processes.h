// The processes that the program never ends, and their files, which it never
// deletes: those of the system whose end stops or crashes Windows, and the
// program's own process.
//
// A process is the system's own when its image has one of the family's
// names and lies in the system folder (GetSystemDirectory). The place
// decides, not the name alone: malware plants files named services.exe,
// smss.exe or csrss.exe in folders of its own, and those processes are ended
// like any other. The system names its early processes in forms of its own
// ("\SystemRoot\System32\smss.exe", "\??\C:\WINDOWS\system32\csrss.exe"),
// which are made ordinary paths before the folder is compared; an image named
// by its file name alone, or in a form with no drive, lies in no known place
// and is taken for the system's when its name is one of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system/system_context.h"

namespace removal {

// `path` as an ordinary path: "\??\" and "\\?\" taken off, "\SystemRoot\"
// made the parent of `systemDirectory` (the folder that holds the system
// folder). Other paths are answered unchanged.
std::u16string OrdinaryImagePath(std::u16string_view path, std::u16string_view systemDirectory);

// Whether `path` (a process's image as the system names it, or a file's
// path) is the file of one of the system's own processes on the family
// (`windows9x`), whose system folder is `systemDirectory`.
bool IsSystemProcessImage(std::u16string_view path, std::u16string_view systemDirectory,
                          bool windows9x);

// The same on the running system. Without a system folder, every file of a
// system process's name counts as the system's.
bool IsSystemProcessFile(const sys::SystemContext& system, std::u16string_view path);

// Why a process must be left running, if it must.
enum class ProcessProtection {
  kNone,          // it may be ended
  kSystem,        // one of the system's own
  kOwn,           // the program's own process
  kUnknownImage,  // neither its image nor its name can be read: it is not tried
};

// Decides for process `processId` from its image: on Windows 9x the full path
// of Tool Help's process entry; on the NT family the path of its first module
// (its executable), else the name of its process entry.
ProcessProtection ProtectionOf(const sys::SystemContext& system, std::uint32_t processId);

}  // namespace removal
