// Removing and renaming files: at once, or at the next system start when the
// file is in use, through the system's delayed moves on the NT family and
// through the [rename] section of WININIT.INI on Windows 9x/ME.
//
// Both operations start with the same test: a find-first search must find
// the path, and it must be no folder. Paths with wildcards or a zero
// character name no single file and are refused. On the NT family a path of
// a drive may come in its "\\?\" form ("\\?\C:\..."), as the file scanner
// hands on one longer than 259 characters: the prefix is taken, the rest is
// tested as any path, and the path is handed to the system as it came. Any
// other "?" is refused, so is the prefix on Windows 9x/ME, which have no such
// form, and before anything but a drive ("\\?\UNC\...", volume names).
// When the search finds the file but the runtime's access test (_waccess
// with mode 0, which is GetFileAttributesW succeeding; called directly so
// that it works on Windows 9x/ME too) does not, only the shell can reach the
// name: the operation is handed to SHFileOperationW with the path behind
// "\\?\", in a buffer of 260 characters; a path that does not fit is not
// handed over.
//
// A rename is left for the next start only when the file is in use (the
// move failed with a sharing or lock violation) and the new name is free:
// any other refusal, a taken name above all, is final, as WININIT.EXE would
// write the file over the one that holds the name.
//
// A delayed deletion or rename counts as done only when the system took it
// and will carry it out: a MoveFileExW that fails, or a WININIT.INI that
// cannot be rewritten, leaves the counters and the reboot flag as they were.
// So does a delayed rename whose two paths lie on different volumes: the
// system renames at the next start in place, never across volumes (the
// session manager renames within a volume only, MoveFileExW refuses
// MOVEFILE_COPY_ALLOWED together with MOVEFILE_DELAY_UNTIL_REBOOT, and
// MS-DOS cannot rename across drives). WININIT.EXE, which carries out
// WININIT.INI on Windows 9x/ME, runs before long file names are available
// (Microsoft Knowledge Base Q140570, "How to move files that are currently
// in use"): a line is written with the short (8.3) form of each path, and a
// path without one is not scheduled. A new name is its folder's short form
// and a last part that must itself be a short name.
#include <algorithm>

#include "common/limits.h"
#include "common/text.h"
#include "removal/system_file_io.h"
#include "removal/system_file_text.h"
#include "removal/system_operations.h"

namespace removal {
namespace {

using codes::FileRemovalResult;
using codes::FileRenameResult;

constexpr std::u16string_view kNoSingleFile(u"*?\0", 3);
// The NT family takes a full path behind it as it is, of any length.
constexpr std::u16string_view kLongPathPrefix(u"\\\\?\\");

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// `path` without its "\\?\" prefix when it is the path of a drive in that
// form and the system is of the NT family; else `path` as it is.
std::u16string_view WithoutLongPathPrefix(std::u16string_view path, bool windows9x) {
  if (windows9x || !path.starts_with(kLongPathPrefix)) return path;
  const std::u16string_view rest = path.substr(kLongPathPrefix.size());
  const bool onDrive =
      rest.size() > 3 && IsAsciiLetter(rest[0]) && rest[1] == u':' && rest[2] == u'\\';
  return onDrive ? rest : path;
}

// Whether `path` names one existing file that is no folder.
bool IsRemovableFile(platform::Files& files, bool windows9x, std::u16string_view path) {
  const std::u16string_view tested = WithoutLongPathPrefix(path, windows9x);
  if (tested.empty() || tested.find_first_of(kNoSingleFile) != std::u16string_view::npos) {
    return false;
  }
  const auto found = files.FindFirstFileWide(path);
  if (!found) return false;
  files.FindClose(found->search);
  return (found->data.attributes & platform::kFileAttributeDirectory) == 0;
}

// "\\?\" + path as the shell is given it (a path that IsRemovableFile took
// in its "\\?\" form as it is), in a buffer of limits::kMaxPathChars
// characters with the two zeros that end the list; nothing when it does not
// fit.
std::optional<std::u16string> ShellPathList(std::u16string_view path) {
  std::u16string list;
  if (!path.starts_with(kLongPathPrefix)) list = kLongPathPrefix;
  list.append(path);
  list.append(2, u'\0');
  if (list.size() > limits::kMaxPathChars) return std::nullopt;
  return list;
}

// Hands `operation` to SHFileOperationW from shell32.dll; false when the
// shell lacks it. What the shell answers is not looked at.
bool HandToShell(platform::System& system, const platform::ShellFileOperation& operation) {
  const platform::Handle shell32 = system.runtime().LoadLibraryWide(u"shell32.dll");
  if (shell32 == 0) return false;
  platform::ShFileOperationFunction shellFileOperation =
      system.files().BindShFileOperation(shell32);
  const bool handed = static_cast<bool>(shellFileOperation);
  if (handed) shellFileOperation(operation);
  shellFileOperation = nullptr;
  system.runtime().FreeLibraryHandle(shell32);
  return handed;
}

// Whether a move refused with `lastError` was refused because another
// program has the file open.
bool IsInUse(std::uint32_t lastError) {
  return lastError == platform::kErrorSharingViolation ||
         lastError == platform::kErrorLockViolation;
}

// Whether a file or folder other than `oldPath` itself holds `newPath`.
bool NameIsTaken(platform::Files& files, std::u16string_view oldPath, std::u16string_view newPath) {
  return !text::EqualsNoCase(oldPath, newPath) && files.GetFileAttributesWide(newPath);
}

// The volume that `path` lies on as far as its text tells: its drive letter,
// or the server and share of a UNC path; nothing for a relative path.
std::optional<std::u16string> VolumeOf(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') return text::ToUpper(path.substr(0, 2));
  if (!path.starts_with(u"\\\\")) return std::nullopt;
  const std::size_t server = path.find(u'\\', 2);
  if (server == std::u16string_view::npos) return text::ToUpper(path);
  return text::ToUpper(path.substr(0, path.find(u'\\', server + 1)));
}

// Whether a rename from `oldPath` to `newPath` stays on one volume, as far
// as the paths tell.
bool OnOneVolume(std::u16string_view oldPath, std::u16string_view newPath) {
  const auto from = VolumeOf(oldPath);
  const auto to = VolumeOf(newPath);
  return !from || !to || *from == *to;
}

// The short form of the existing `path` in the ANSI code page, as
// WININIT.EXE can follow it; nothing when it has none.
std::optional<std::string> WininitPath(platform::System& system, std::u16string_view path) {
  const auto shortPath = system.files().GetShortPathNameWide(path);
  if (!shortPath) return std::nullopt;
  auto ansi = ExactAnsi(system.runtime(), *shortPath);
  if (!ansi || !IsShortPath(*ansi)) return std::nullopt;
  return ansi;
}

// The new name `path` for WININIT.EXE: its folder's short form and its last
// part, which must be a short name itself; nothing otherwise.
std::optional<std::string> WininitNewPath(platform::System& system, std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return std::nullopt;
  // A name in a drive's root keeps the root's backslash for its folder.
  const auto folder = WininitPath(system, path.substr(0, slash == 2 ? 3 : slash));
  const auto name = ExactAnsi(system.runtime(), path.substr(slash + 1));
  if (!folder || !name || !IsShortName(*name)) return std::nullopt;
  std::string newPath = *folder;
  if (!newPath.ends_with('\\')) newPath += '\\';
  newPath += *name;
  return newPath;
}

// Windows 9x/ME: `line` as the first line of WININIT.INI's [rename]
// section. False when the file cannot be read or written; it is then as it
// was.
bool ScheduleInWininit(platform::System& system, std::string_view line) {
  const auto path = PathInFolder(system.folders().WindowsDirectory(), u"WININIT.INI");
  if (!path) return false;
  const WholeFile old = ReadWholeFile(system, *path);
  if (old.status == WholeFile::Status::kUnreadable) return false;
  // A missing file and an empty one both get a new [rename] section.
  return ReplaceWholeFile(system, true, *path, WithRenameLine(old.bytes, line));
}

}  // namespace

bool HandledFiles::Contains(std::u16string_view path) const {
  return std::any_of(
      entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(used_),
      [&](const std::u16string& handled) { return text::EqualsNoCase(handled, path); });
}

void HandledFiles::Add(std::u16string_view path) {
  if (path.empty()) return;
  if (used_ < entries_.size()) {
    entries_[used_++] = path;
  } else {
    entries_[0] = path;
  }
}

FileRemovalResult SystemRemovalOperations::RemoveFile(std::u16string_view path) {
  platform::System& system = systemContext_.system();
  platform::Files& files = system.files();
  if (!IsRemovableFile(files, systemContext_.isWindows9x(), path))
    return FileRemovalResult::kNothingDone;
  if (!files.GetFileAttributesWide(path)) {
    if (const auto list = ShellPathList(path)) {
      HandToShell(system, platform::ShellFileOperation{
                              platform::kFoDelete,
                              *list,
                              {},
                              platform::kFofNoConfirmation | platform::kFofNoErrorUi});
    }
    return FileRemovalResult::kNothingDone;
  }
  if (handledFiles_.Contains(path)) return FileRemovalResult::kNothingDone;
  handledFiles_.Add(path);

  files.SetFileAttributesWide(path, platform::kFileAttributeNormal);
  if (files.DeleteFileWide(path)) {
    ++statistics_.removedFiles;
    return FileRemovalResult::kDone;
  }
  if (!systemContext_.isWindows9x()) {
    if (!files.MoveFileExWide(path, std::nullopt, platform::kMoveFileDelayUntilReboot)) {
      return FileRemovalResult::kScheduleFailed;
    }
  } else {
    if (!ExactAnsi(system.runtime(), path)) return FileRemovalResult::kNothingDone;
    const auto shortPath = WininitPath(system, path);
    if (!shortPath || !ScheduleInWininit(system, "NUL=" + *shortPath)) {
      return FileRemovalResult::kScheduleFailed;
    }
  }
  rebootRequired_ = true;
  ++statistics_.removedFiles;
  return FileRemovalResult::kDone;
}

FileRenameResult SystemRemovalOperations::RenameFile(std::u16string_view oldPath,
                                                     std::u16string_view newPath) {
  platform::System& system = systemContext_.system();
  platform::Files& files = system.files();
  if (!IsRemovableFile(files, systemContext_.isWindows9x(), oldPath) || newPath.empty() ||
      newPath.find_first_of(kNoSingleFile) != std::u16string_view::npos) {
    return FileRenameResult::kNothingDone;
  }
  if (!files.GetFileAttributesWide(oldPath)) {
    const auto from = ShellPathList(oldPath);
    const auto to = ShellPathList(newPath);
    if (!from || !to) return FileRenameResult::kNothingDone;
    const bool handed = HandToShell(
        system,
        platform::ShellFileOperation{platform::kFoRename, *from, *to, platform::kFofNoErrorUi});
    return handed ? FileRenameResult::kHandedToShell : FileRenameResult::kNothingDone;
  }

  files.SetFileAttributesWide(oldPath, platform::kFileAttributeNormal);
  const platform::FileMoveResult moved = files.MoveFileWide(oldPath, newPath);
  if (moved.moved) {
    ++statistics_.renamedFiles;
    return FileRenameResult::kDone;
  }
  // Only a file in use waits for the next start, and only to a free name:
  // WININIT.EXE would write the file over one that holds the new name.
  if (!IsInUse(moved.lastError) || NameIsTaken(files, oldPath, newPath)) {
    return FileRenameResult::kNothingDone;
  }
  if (!OnOneVolume(oldPath, newPath)) return FileRenameResult::kNothingDone;
  if (!systemContext_.isWindows9x()) {
    if (!files.MoveFileExWide(oldPath, newPath, platform::kMoveFileDelayUntilReboot)) {
      return FileRenameResult::kNothingDone;
    }
  } else {
    if (!ExactAnsi(system.runtime(), oldPath) || !ExactAnsi(system.runtime(), newPath)) {
      return FileRenameResult::kNothingDone;
    }
    const auto shortOld = WininitPath(system, oldPath);
    const auto shortNew = WininitNewPath(system, newPath);
    if (!shortOld || !shortNew || !ScheduleInWininit(system, *shortNew + "=" + *shortOld)) {
      return FileRenameResult::kNothingDone;
    }
  }
  rebootRequired_ = true;
  ++statistics_.renamedFiles;
  return FileRenameResult::kDone;
}

}  // namespace removal
