// The file system of the fake platform: drives, folders and files held in
// memory, with the handles and searches the program opens on them.
//
// Paths are compared without regard to case; "/" stands for "\". A path
// that does not start with a drive ("C:\") or a share ("\\") is taken
// relative to `currentDirectory`. Folders are plain names: a file can only
// be created in a folder that exists. Listings keep the case in which a
// file or folder was first added.
//
// A file may have named streams: "C:\a.exe:s.exe" opens stream "s.exe" of
// "C:\a.exe". BackupRead gives, as Windows does, the main data stream and
// then each named stream, each as a 20-byte header (identifier, attributes,
// 64-bit size, name size in bytes, little-endian), the name as UTF-16
// (":s.exe:$DATA"), then the data; a call reads at most to the end of the
// header, name or data it is in. BackupSeek skips forward within the data
// of the current stream only.
//
// Path lengths follow the system's rule (files.h): the calls of FakeFilesArea
// refuse a path (or search pattern) of more than 259 characters, and on the
// NT family take one behind "\\?\" of any length; Windows 9x/ME refuse the
// "\\?\" form. The test's own calls on FakeFileSystem know no limit.
//
// Folders open as handles with FILE_FLAG_BACKUP_SEMANTICS (not on Windows
// 9x/ME), which read nothing; GetFileInformationByHandle identifies a file or
// folder by its drive (the volume serial number is the drive's letter) and a
// file index given at its first identification.
//
// Changes: every change to the file system (creating a file or opening one
// for writing, a write, cutting a file, a deletion, a move, scheduling a
// delayed move, setting attributes, a profile write) is one step, counted in
// `changeSteps`; the step numbered `failingStep` (0 is the first) fails, as
// on a full disk or a refusing one, so that a test can fail each step of an
// operation in turn. A failing write stores the first half of its bytes.
//
// Sharing: an open of a file that handles hold open follows CreateFileW's
// rule: it fails with ERROR_SHARING_VIOLATION when it asks for read or write
// access that one of those handles does not share, or when its own sharing
// leaves out the read or write access one of them has ("You cannot request a
// sharing mode that conflicts with the access mode that is specified in an
// existing request that has an open handle", CreateFileW in the Windows SDK).
// An open without read or write access is not checked.
//
// Delayed moves (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT) are recorded
// in `delayedMoves`; Windows 9x/ME (platform id 1 in the FakeSystem's
// version) has no MoveFileExW and fails every call, so there the program
// keeps its list in WININIT.INI, an ordinary file of the Windows folder.
// Neither is carried out until a test starts Windows again
// (FakeSystem::StartAgain), which performs them as the system would.
//
// Short names: every file and folder gets a short (8.3) name when it is
// made, as a FAT volume gives it (Microsoft, "FAT: General Overview of
// On-Disk Format" 1.03, basis name and numeric tail): a name that is a valid
// short name keeps it in upper case ("virus.exe" is VIRUS.EXE), any other
// gets up to six characters of its basis and "~N", N the lowest number not
// taken in its folder ("Program Files" is PROGRA~1, "WinSecurity" WINSEC~1),
// with the first three characters after its last dot. Characters outside
// printable ASCII become "_" in short names. GetShortPathNameW answers them;
// the other operations find files by their long names only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform::fake {

// A named stream of a file: its name without the colons and the ":$DATA" type.
struct FakeStream {
  std::u16string name;
  std::vector<std::uint8_t> bytes;
};

struct FakeFile {
  std::vector<std::uint8_t> bytes;
  // Named streams in the order BackupRead reports them.
  std::vector<FakeStream> streams;
  // Every BackupRead of the file fails with this error (kErrorAccessDenied:
  // a file that opens but whose streams may not be read).
  std::optional<std::uint32_t> backupReadError;
  // The size that directory listings report, when it differs from the
  // bytes' (a file over 4 GB).
  std::optional<std::uint64_t> listedSize;
  std::uint32_t attributes = kFileAttributeArchive;
  // Opening fails with ERROR_SHARING_VIOLATION, as for a file that another
  // program holds open without sharing.
  bool refusesOpening = false;
  // WriteFile on it fails, as on a full disk.
  bool writesFail = false;
  // GetFileAttributesW fails for it although the find functions list it,
  // as for a name ending in a dot or a blank, which other calls cannot reach.
  bool attributesFail = false;
};

// One MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT: the full paths as given
// (`to` empty for a deletion).
struct FakeDelayedMove {
  std::u16string from;
  std::u16string to;
  bool operator==(const FakeDelayedMove&) const = default;
};

// One WriteFile that succeeded.
struct FakeWrite {
  std::u16string path;  // as the file system keys it (upper case, full)
  std::size_t size = 0;
};

// A drive: its GetDriveTypeW answer and whether a medium is in it (without
// one its root cannot be listed). A volume without a letter is reached only
// through a mount point (AddMountPoint): its letter here is only the fake's
// name of it, which no drive string lists and no path of a program reaches.
struct FakeDrive {
  std::uint32_t type = kDriveFixed;
  bool hasMedia = true;
  bool hasLetter = true;
};

class FakeFileSystem {
 public:
  // The drives by upper-case letter; GetLogicalDriveStringsW lists them in
  // letter order. A letter without a drive answers DRIVE_NO_ROOT_DIR and its
  // folders cannot be listed.
  std::map<char16_t, FakeDrive> drives = {{u'C', FakeDrive{}}};
  // Makes GetLogicalDriveStringsW answer 0.
  bool driveStringsFail = false;
  // Makes every BackupRead fail with this error: kErrorNotSupported or
  // kErrorCallNotImplemented where the system offers no stream reading
  // (Wine's BackupRead answers the first); `backupReadCalls` counts the
  // calls.
  std::optional<std::uint32_t> backupReadError;
  std::size_t backupReadCalls = 0;
  // The folder against which relative paths are resolved.
  std::u16string currentDirectory = u"C:\\";
  // Every WriteFile that succeeded, in order.
  std::vector<FakeWrite> writes;
  // Steps of change so far, and the one that fails (see above).
  std::size_t changeSteps = 0;
  std::optional<std::size_t> failingStep;
  // Delayed moves in the order they were scheduled; with
  // `delayedMovesRefused` MoveFileExW refuses to schedule (access denied).
  std::vector<FakeDelayedMove> delayedMoves;
  bool delayedMovesRefused = false;
  // SHFileOperationW calls, recorded and not carried out, and its answer.
  std::vector<ShellFileOperation> shellOperations;
  int shellOperationAnswer = 0;

  // Called at the start of every Open of a file's main data with the path
  // as given and the access asked for: lets a test act as another program
  // would just before the program opens a file.
  std::function<void(std::u16string_view path, std::uint32_t access)> beforeOpen;
  // Makes `path` an entry without a short name, as on a volume that keeps
  // none: GetShortPathNameW answers its long name for it.
  void DropShortName(std::u16string_view path);
  // GetShortPathNameW: the short form of the existing file or folder `path`
  // ("C:\" for a drive), nothing for a missing one.
  std::optional<std::u16string> ShortPath(std::u16string_view path);

  // The next start of Windows. Every program has ended: files held open by
  // others and the program's handles are released. Then:
  // - Windows 9x/ME (`windows9x`): WININIT.EXE carries out the [rename]
  //   section of WININIT.INI in `windowsDirectory`, line by line, and
  //   renames the file to WININIT.BAK. It runs before long file names are
  //   available (Microsoft Knowledge Base Q140570, "How to move files that
  //   are currently in use"): every part of both paths must be a short name
  //   of the entry it names, a line with any other part is passed over.
  //   "NUL=source" deletes the source (not when read-only, as MS-DOS's
  //   delete); "target=source" renames the source, in place of a target
  //   that exists (unless it is read-only), and only on its own drive (MS-DOS
  //   renames cannot cross drives, error 11h).
  // - the NT family: the session manager carries out `delayedMoves` in
  //   order and empties it: a deletion, or a rename that neither replaces an
  //   existing target (the program never asks MOVEFILE_REPLACE_EXISTING)
  //   nor leaves its volume (it renames in place; MoveFileExW refuses
  //   MOVEFILE_COPY_ALLOWED with MOVEFILE_DELAY_UNTIL_REBOOT).
  // An entry that is missing by then is passed over on both.
  void StartAgain(bool windows9x, std::u16string_view windowsDirectory);

  // Adds a folder and every folder above it.
  void AddFolder(std::u16string_view path);
  // Adds or replaces a file; its folders are added too.
  FakeFile& AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes = {});
  // The file at `path`, or nullptr.
  FakeFile* Find(std::u16string_view path);
  // The bytes of the file at `path` as text, one character per byte; empty
  // when there is no such file.
  std::string Text(std::u16string_view path);
  bool FolderExists(std::u16string_view path) const;
  // Makes `path` a directory junction (a folder with the reparse-point
  // attribute) that leads to the folder `target`: listing it or opening a
  // file below it acts on the target.
  void AddJunction(std::u16string_view path, std::u16string_view target);
  // Makes `path` a mount point of the volume `drive` (a letter of `drives`):
  // the same kind of reparse point as a junction, leading to its root.
  void AddMountPoint(std::u16string_view path, char16_t drive);
  // Listing `path` fails, as for a folder without read access.
  void RefuseListing(std::u16string_view path);
  // Searches opened and not yet closed.
  std::size_t OpenSearchCount() const { return searches_.size(); }
  // Handles opened and not yet closed.
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // The operations of platform::Files, as the fake carries them out. A file
  // marked read-only refuses write access; CREATE_ALWAYS, OPEN_ALWAYS and a
  // new file follow CreateFileW (a new file gets the archive attribute and
  // the read-only, hidden and system bits asked for). Handles share as asked
  // (see above); `refusesOpening` stands for a file that another program
  // holds without sharing.
  bool SetAttributes(std::u16string_view path, std::uint32_t attributes);
  // CreateDirectoryW (one step): 0 when the folder was made, else the last
  // error: kErrorAlreadyExists when a folder or a file of that name exists,
  // kErrorPathNotFound when the folder above it does not.
  std::uint32_t CreateFolder(std::u16string_view path);
  // RemoveDirectoryW (one step): fails for a missing folder, a drive's root
  // and a folder that holds anything.
  bool RemoveFolder(std::u16string_view path);
  // DeleteFileW: fails for a missing file, a folder, a read-only file, one
  // that another program holds (`refusesOpening`) and one with a handle of
  // the program still open on it (the program never shares for deleting).
  bool Delete(std::u16string_view path);
  // GetFileAttributesW: a file's attributes, FILE_ATTRIBUTE_DIRECTORY for a
  // folder; nothing for a missing path or a file with `attributesFail`.
  std::optional<std::uint32_t> Attributes(std::u16string_view path);
  // MoveFileW, and MoveFileExW's immediate move with `replace`
  // (MOVEFILE_REPLACE_EXISTING): moves a file to a new name in an existing
  // folder, with its attributes; a read-only file may be moved. Fails for a
  // missing file, a folder, a file in use (held or with a handle open), a
  // missing folder, and a taken name unless `replace` allows replacing it
  // (never a folder, a read-only file or one in use). The last error of a
  // failure is the NT family's (Microsoft KB 113996, "Mapping NT Status
  // Error Codes to Win32 Error Codes"): a file in use is
  // STATUS_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, also when the new
  // name is taken, as the file is opened before the new name is looked at; a
  // taken name STATUS_OBJECT_NAME_COLLISION, ERROR_ALREADY_EXISTS; a missing
  // folder ERROR_PATH_NOT_FOUND; a missing file ERROR_FILE_NOT_FOUND; any
  // other refusal ERROR_ACCESS_DENIED.
  FileMoveResult Move(std::u16string_view from, std::u16string_view to, bool replace);
  // MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT: records the move (one
  // step), unless refused.
  bool ScheduleMove(std::u16string_view from, std::optional<std::u16string_view> to);
  // Replaces the whole content of the file at `path` (one step), creating it
  // in an existing folder; fails for a read-only file, one in use, or one
  // whose writes fail. The profile functions write this way.
  bool Store(std::u16string_view path, std::vector<std::uint8_t> bytes);
  FileOpenResult Open(std::u16string_view path, std::uint32_t access,
                      std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes,
                      std::uint32_t shareMode = kFileShareRead | kFileShareWrite |
                                                kFileShareDelete);
  std::optional<std::uint64_t> Seek(Handle file, std::int64_t distance, std::uint32_t moveMethod);
  bool Truncate(Handle file);
  std::optional<std::uint32_t> Write(Handle file, std::span<const std::uint8_t> bytes);
  bool Close(Handle file);
  std::optional<std::uint64_t> Size(Handle file);
  std::optional<std::uint32_t> Read(Handle file, std::span<std::uint8_t> buffer);
  DriveStrings LogicalDriveStrings(std::uint32_t bufferLength) const;
  std::uint32_t DriveType(std::u16string_view rootPath) const;
  // GetFileInformationByHandle of a file, stream or folder handle.
  std::optional<FileIdentity> Identify(Handle file);
  // FindFirstFileW: a name without wildcards finds that file or folder
  // itself; "*" and "*.*" list a folder with "." and ".." (not at a drive's
  // root); other patterns of "*" and "?" list the names that match.
  std::optional<FindFirstResult> FindFirst(std::u16string_view pattern);
  std::optional<FindData> FindNext(Handle search);
  bool FindClose(Handle search);
  // BackupRead and BackupSeek on a handle of this file system; `context`
  // holds the position in the file's backup stream (0 at the start).
  BackupReadResult BackupRead(Handle file, std::span<std::uint8_t> buffer, bool abort,
                              std::uint64_t& context);
  BackupSeekResult BackupSeek(Handle file, std::uint64_t distance, std::uint64_t& context);

  // The key of `path`: full, upper case, with "\" and without a trailing one
  // ("C:\Logs\" gives "C:\LOGS", "c:\" gives "C:").
  std::u16string Key(std::u16string_view path) const;

 private:
  struct OpenFile {
    std::u16string key;
    std::u16string stream;  // upper case; empty for the main data
    std::uint32_t access = 0;
    std::uint64_t position = 0;
    std::uint32_t share = kFileShareRead | kFileShareWrite | kFileShareDelete;
    bool folder = false;  // opened with FILE_FLAG_BACKUP_SEMANTICS; reads nothing
  };
  struct Search {
    std::vector<FindData> entries;
    std::size_t next = 0;
  };
  OpenFile* Opened(Handle file);
  // The bytes an open handle reads and writes: the file's or its stream's.
  std::vector<std::uint8_t>* BytesOf(const OpenFile& open);
  // `key` with every junction on its way replaced by its target.
  std::u16string Resolve(std::u16string key) const;
  // The name to list for `key`: its last part as first added.
  std::u16string ListedName(const std::u16string& key) const;
  // Records the case of `path` and of the folders above it, where none is
  // recorded yet.
  void Remember(std::u16string_view path);
  // The full path of `path` in its own case (Key without the upper case).
  std::u16string Full(std::u16string_view path) const;
  // Counts one step of change: false when it is the step that fails.
  bool Step();
  // Whether a handle of the program is open on `key`.
  bool IsOpen(const std::u16string& key) const;
  // Whether opening the main data of `key` with `access` and `shareMode`
  // conflicts with a handle open on it (the sharing rule above).
  bool SharingConflicts(const std::u16string& key, std::uint32_t access,
                        std::uint32_t shareMode) const;
  // Whether a program's path may start at the drive of `key` (unresolved):
  // a drive that exists and has a letter.
  bool HasLetter(const std::u16string& key) const;
  // Gives the new entry `key` its short name, unless it has one.
  void AssignShortName(const std::u16string& key);
  // The key of the entry that the path of short names `path` names, or of a
  // new entry for a last part that names none when `newLast` is set;
  // nothing when a part is no short name or names nothing.
  std::optional<std::u16string> KeyOfShortPath(std::u16string_view path, bool newLast);
  // Moves the file `from` to the key `to` (both existing keys' folders).
  void MoveEntry(const std::u16string& from, const std::u16string& to);
  void CarryOutWininit(std::u16string_view windowsDirectory);
  void CarryOutDelayedMoves();

  std::map<std::u16string, FakeFile> files_;
  std::set<std::u16string> folders_;
  std::map<std::u16string, std::u16string> junctions_;
  std::set<std::u16string> unlistable_;
  std::map<std::u16string, std::u16string> names_;
  // Short name (or the long name answered in its place) by key.
  std::map<std::u16string, std::u16string> shortNames_;
  std::map<Handle, OpenFile> handles_;
  std::map<Handle, Search> searches_;
  std::map<std::u16string, std::uint64_t> fileIndexes_;
  Handle nextHandle_ = 0x100000;
};

}  // namespace platform::fake
