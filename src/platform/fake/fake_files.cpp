#include "platform/fake/fake_files.h"

#include <algorithm>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

// The folder above `key`, or nothing for a drive or a share.
std::optional<std::u16string> Parent(const std::u16string& key) {
  const std::size_t slash = key.rfind(u'\\');
  if (slash == std::u16string::npos || slash < 2) return std::nullopt;
  return key.substr(0, slash);
}

}  // namespace

std::u16string FakeFileSystem::Key(std::u16string_view path) const {
  std::u16string full(path);
  std::replace(full.begin(), full.end(), u'/', u'\\');
  const bool hasDrive = full.size() >= 2 && full[1] == u':';
  const bool isShare = full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\';
  if (!hasDrive && !isShare) {
    std::u16string base = currentDirectory;
    if (!full.empty() && full[0] == u'\\') {
      base = base.substr(0, 2);  // the current drive
    } else if (!base.empty() && base.back() != u'\\') {
      base.push_back(u'\\');
    }
    full = base + full;
  }
  while (full.size() > 2 && full.back() == u'\\') full.pop_back();
  return text::ToUpper(full);
}

void FakeFileSystem::AddFolder(std::u16string_view path) {
  std::optional<std::u16string> key = Key(path);
  while (key) {
    folders_.insert(*key);
    key = Parent(*key);
  }
}

FakeFile& FakeFileSystem::AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes) {
  const std::u16string key = Key(path);
  if (const auto parent = Parent(key)) AddFolder(*parent);
  FakeFile& file = files_[key];
  file = FakeFile{};
  file.bytes = std::move(bytes);
  return file;
}

FakeFile* FakeFileSystem::Find(std::u16string_view path) {
  const auto it = files_.find(Key(path));
  return it == files_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::FolderExists(std::u16string_view path) const {
  return folders_.count(Key(path)) != 0;
}

bool FakeFileSystem::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
  const std::u16string key = Key(path);
  if (folders_.count(key) != 0) return true;
  const auto it = files_.find(key);
  if (it == files_.end()) return false;
  // FILE_ATTRIBUTE_NORMAL is valid only alone; the directory bit cannot be set.
  it->second.attributes = attributes == kFileAttributeNormal
                              ? kFileAttributeNormal
                              : attributes & ~(kFileAttributeNormal | kFileAttributeDirectory);
  return true;
}

FileOpenResult FakeFileSystem::Open(std::u16string_view path, std::uint32_t access,
                                    std::uint32_t creationDisposition,
                                    std::uint32_t flagsAndAttributes) {
  const std::u16string key = Key(path);
  if (folders_.count(key) != 0) return FileOpenResult{0, kErrorAccessDenied};
  const auto parent = Parent(key);
  if (!parent || folders_.count(*parent) == 0) return FileOpenResult{0, kErrorPathNotFound};

  auto it = files_.find(key);
  const bool exists = it != files_.end();
  bool create = false;
  bool truncate = false;
  switch (creationDisposition) {
    case kCreateNew:
      if (exists) return FileOpenResult{0, kErrorFileExists};
      create = true;
      break;
    case kCreateAlways:
      create = !exists;
      truncate = exists;
      break;
    case kOpenExisting:
      if (!exists) return FileOpenResult{0, kErrorFileNotFound};
      break;
    case kOpenAlways:
      create = !exists;
      break;
    case kTruncateExisting:
      if (!exists) return FileOpenResult{0, kErrorFileNotFound};
      if ((access & kGenericWrite) == 0) return FileOpenResult{0, kErrorInvalidParameter};
      truncate = true;
      break;
    default:
      return FileOpenResult{0, kErrorInvalidParameter};
  }

  std::uint32_t lastError = 0;
  if (exists) {
    const FakeFile& file = it->second;
    if (file.refusesOpening) return FileOpenResult{0, kErrorSharingViolation};
    const bool writing = (access & kGenericWrite) != 0 || truncate;
    if (writing && (file.attributes & kFileAttributeReadOnly) != 0) {
      return FileOpenResult{0, kErrorAccessDenied};
    }
    if (truncate) it->second.bytes.clear();
    if (creationDisposition == kCreateAlways || creationDisposition == kOpenAlways) {
      lastError = kErrorAlreadyExists;
    }
  } else if (create) {
    FakeFile file;
    file.attributes = kFileAttributeArchive |
                      (flagsAndAttributes &
                       (kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem));
    files_[key] = file;
  }

  const Handle handle = nextHandle_++;
  handles_[handle] = OpenFile{key, access, 0};
  return FileOpenResult{handle, lastError};
}

FakeFileSystem::OpenFile* FakeFileSystem::Opened(Handle file) {
  const auto it = handles_.find(file);
  if (it == handles_.end() || files_.count(it->second.key) == 0) return nullptr;
  return &it->second;
}

std::optional<std::uint64_t> FakeFileSystem::Seek(Handle file, std::int64_t distance,
                                                  std::uint32_t moveMethod) {
  OpenFile* open = Opened(file);
  if (open == nullptr) return std::nullopt;
  std::int64_t base = 0;
  switch (moveMethod) {
    case kFileBegin:
      break;
    case kFileCurrent:
      base = static_cast<std::int64_t>(open->position);
      break;
    case kFileEnd:
      base = static_cast<std::int64_t>(files_[open->key].bytes.size());
      break;
    default:
      return std::nullopt;
  }
  if (base + distance < 0) return std::nullopt;
  open->position = static_cast<std::uint64_t>(base + distance);
  return open->position;
}

bool FakeFileSystem::Truncate(Handle file) {
  OpenFile* open = Opened(file);
  if (open == nullptr || (open->access & kGenericWrite) == 0) return false;
  files_[open->key].bytes.resize(static_cast<std::size_t>(open->position));
  return true;
}

std::optional<std::uint32_t> FakeFileSystem::Write(Handle file,
                                                   std::span<const std::uint8_t> bytes) {
  OpenFile* open = Opened(file);
  if (open == nullptr || (open->access & kGenericWrite) == 0) return std::nullopt;
  FakeFile& target = files_[open->key];
  if (target.writesFail) return std::nullopt;
  const auto at = static_cast<std::size_t>(open->position);
  // Writing past the end fills the gap with zeros, as the system does.
  if (target.bytes.size() < at + bytes.size()) target.bytes.resize(at + bytes.size());
  std::copy(bytes.begin(), bytes.end(), target.bytes.begin() + static_cast<std::ptrdiff_t>(at));
  open->position += bytes.size();
  writes.push_back(FakeWrite{open->key, bytes.size()});
  return static_cast<std::uint32_t>(bytes.size());
}

bool FakeFileSystem::Close(Handle file) { return handles_.erase(file) != 0; }

// --- The fake's file operations. ---

bool FakeFilesArea::SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) {
  return system_.fileSystem.SetAttributes(path, attributes);
}

FileOpenResult FakeFilesArea::CreateFileWide(std::u16string_view path, std::uint32_t access,
                                             std::uint32_t, std::uint32_t creationDisposition,
                                             std::uint32_t flagsAndAttributes) {
  return system_.fileSystem.Open(path, access, creationDisposition, flagsAndAttributes);
}

std::optional<std::uint64_t> FakeFilesArea::SetFilePointer(Handle file, std::int64_t distance,
                                                           std::uint32_t moveMethod) {
  return system_.fileSystem.Seek(file, distance, moveMethod);
}

bool FakeFilesArea::SetEndOfFile(Handle file) { return system_.fileSystem.Truncate(file); }

std::optional<std::uint32_t> FakeFilesArea::WriteFile(Handle file,
                                                      std::span<const std::uint8_t> bytes) {
  return system_.fileSystem.Write(file, bytes);
}

namespace {

constexpr char16_t kKernel32[] = u"KERNEL32.DLL";

// Whether `module` is the fake's KERNEL32.DLL: resident or loaded.
bool IsKernel32(FakeSystem& system, Handle module) {
  return module != 0 && (module == system.runtime().GetModuleHandleWide(kKernel32) ||
                         system.IsLibraryLoaded(module, kKernel32));
}

}  // namespace

BackupReadFunction FakeFilesArea::BindBackupRead(Handle module) {
  if (!IsKernel32(system_, module) || system_.missingFunctions.count("BackupRead") != 0) return {};
  return [](Handle, std::span<std::uint8_t>, bool, bool,
            std::uint64_t&) -> std::optional<std::uint32_t> { return std::nullopt; };
}

BackupSeekFunction FakeFilesArea::BindBackupSeek(Handle module) {
  if (!IsKernel32(system_, module) || system_.missingFunctions.count("BackupSeek") != 0) return {};
  return [](Handle, std::uint64_t, std::uint64_t&) { return BackupSeekResult{false, 0}; };
}

}  // namespace platform::fake
