// The Process Status Helper that the program carries for Windows NT 4,
// written out and loaded so that nobody can swap it in between.
//
// The temporary folder is often shared by every user (C:\TEMP on NT 4): a
// file written there and loaded later could be replaced in the meantime by
// any process, whose code would then run in an administrator's scan. So:
//   1. the image goes into a folder that the program makes for it under the
//      temporary folder, never into one that exists already (whoever made
//      that one could hold or plant a file in it);
//   2. it is written as a new file and closed;
//   3. it is opened again for reading, sharing reading only: from then on
//      nobody can write, rename or delete it (nor rename its folder);
//   4. its bytes are read through that handle and compared with the image;
//   5. it is loaded while that handle is open (the loader's own open shares
//      with it), and the handle is closed after the load.
// When a step fails, the file and the folder are removed again and nothing
// is loaded.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/system.h"

namespace sys {

// How many folder names are tried before the program gives up: names that
// exist are skipped, never used.
inline constexpr int kPsapiFolderAttempts = 64;

struct OwnPsapi {
  // The loaded library, or 0 when a step failed.
  platform::Handle library = 0;
  // The file that was loaded: PSAPI.DLL in the program's own folder.
  std::u16string path;
};

// Writes `image` into a new folder under the temporary folder and loads it
// as described above. The path with its terminating zero must fit into
// limits::kMaxPathChars characters.
OwnPsapi LoadOwnPsapi(platform::System& system, std::span<const std::uint8_t> image);

// Deletes the file at `path` and the folder that holds it, once the library
// is no longer loaded. Failures are ignored.
void RemoveOwnPsapi(platform::System& system, const std::u16string& path);

}  // namespace sys
