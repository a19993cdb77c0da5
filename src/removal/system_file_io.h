// What the operations on the system's own files share: their paths, reading
// them whole, replacing them whole, and text in the ANSI code page.
//
// A file is replaced whole or not at all. The new bytes go to a new file of
// the same folder ("~qrt0000.tmp", the first such name that is free), which
// is put in place only once it is complete and closed:
// - no file yet: the new one is renamed to the name (MoveFileW);
// - NT family: it replaces the old one in one rename (MoveFileExW with
//   MOVEFILE_REPLACE_EXISTING);
// - Windows 9x/ME, which have no MoveFileExW: the old file is renamed aside
//   (to another free "~qrt....tmp"), the new one to the name, and the old
//   one deleted; when the second rename fails, the old file goes back.
// At every step the name holds either the complete old file or the complete
// new one; a failure deletes the new file. A read-only file is not replaced,
// as writing over it would be refused; hidden and system attributes are
// kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace removal {

// `folder` (as a folder function gives it; at most limits::kMaxFolderPath
// characters) with `name` below it; nothing when the folder is missing,
// empty or too long.
std::optional<std::u16string> PathInFolder(const std::optional<std::u16string>& folder,
                                           std::u16string_view name);

// A file read whole.
struct WholeFile {
  enum class Status {
    kRead,
    kMissing,     // no such file (or folder)
    kUnreadable,  // cannot be opened or read, or larger than the limit
  };
  Status status = Status::kUnreadable;
  std::string bytes;
};
WholeFile ReadWholeFile(platform::System& system, std::u16string_view path);

// Replaces (or creates) the file at `path` with `bytes`, whole or not at all
// (see above); `windows9x` chooses the way of putting it in place. False
// when nothing was changed.
bool ReplaceWholeFile(platform::System& system, bool windows9x, std::u16string_view path,
                      std::string_view bytes);

// `text` in the ANSI code page, only when it has an exact form there (it
// converts back unchanged): a path or name that would come out with "?" or
// a look-alike in place of a character would name another file or host.
std::optional<std::string> ExactAnsi(platform::Runtime& runtime, std::u16string_view text);

}  // namespace removal
