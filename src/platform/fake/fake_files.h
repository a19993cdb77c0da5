// The file system of the fake platform: folders and files held in memory,
// with the handles the program opens on them.
//
// Paths are compared without regard to case; "/" stands for "\". A path
// that does not start with a drive ("C:\") or a share ("\\") is taken
// relative to `currentDirectory`. Folders are plain names: a file can only
// be created in a folder that exists.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform::fake {

struct FakeFile {
  std::vector<std::uint8_t> bytes;
  std::uint32_t attributes = kFileAttributeArchive;
  // Opening fails with ERROR_SHARING_VIOLATION, as for a file that another
  // program holds open without sharing.
  bool refusesOpening = false;
  // WriteFile on it fails, as on a full disk.
  bool writesFail = false;
};

// One WriteFile that succeeded.
struct FakeWrite {
  std::u16string path;  // as the file system keys it (upper case, full)
  std::size_t size = 0;
};

class FakeFileSystem {
 public:
  // The folder against which relative paths are resolved.
  std::u16string currentDirectory = u"C:\\";
  // Every WriteFile that succeeded, in order.
  std::vector<FakeWrite> writes;

  // Adds a folder and every folder above it.
  void AddFolder(std::u16string_view path);
  // Adds or replaces a file; its folders are added too.
  FakeFile& AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes = {});
  // The file at `path`, or nullptr.
  FakeFile* Find(std::u16string_view path);
  bool FolderExists(std::u16string_view path) const;
  // Handles opened and not yet closed.
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // The operations of platform::Files, as the fake carries them out. A file
  // marked read-only refuses write access; CREATE_ALWAYS, OPEN_ALWAYS and a
  // new file follow CreateFileW (a new file gets the archive attribute and
  // the read-only, hidden and system bits asked for). Sharing between the
  // program's own handles is not modelled: `refusesOpening` stands for a
  // file that another program holds.
  bool SetAttributes(std::u16string_view path, std::uint32_t attributes);
  FileOpenResult Open(std::u16string_view path, std::uint32_t access,
                      std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes);
  std::optional<std::uint64_t> Seek(Handle file, std::int64_t distance, std::uint32_t moveMethod);
  bool Truncate(Handle file);
  std::optional<std::uint32_t> Write(Handle file, std::span<const std::uint8_t> bytes);
  bool Close(Handle file);

  // The key of `path`: full, upper case, with "\" and without a trailing one
  // ("C:\Logs\" gives "C:\LOGS", "c:\" gives "C:").
  std::u16string Key(std::u16string_view path) const;

 private:
  struct OpenFile {
    std::u16string key;
    std::uint32_t access = 0;
    std::uint64_t position = 0;
  };
  OpenFile* Opened(Handle file);

  std::map<std::u16string, FakeFile> files_;
  std::set<std::u16string> folders_;
  std::map<Handle, OpenFile> handles_;
  Handle nextHandle_ = 0x100000;
};

}  // namespace platform::fake
