#include "platform/fake/fake_files.h"

#include <algorithm>

#include "common/text.h"
#include "platform/fake/fake_case.h"
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

// The full path of `path` with "\\" and without a trailing one, in its case.
std::u16string FakeFileSystem::Full(std::u16string_view path) const {
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
  return full;
}

bool FakeFileSystem::Step() { return failingStep != changeSteps++; }

bool FakeFileSystem::IsOpen(const std::u16string& key) const {
  return std::any_of(handles_.begin(), handles_.end(),
                     [&](const auto& handle) { return handle.second.key == key; });
}

bool FakeFileSystem::SharingConflicts(const std::u16string& key, std::uint32_t access,
                                      std::uint32_t shareMode) const {
  const auto dataAccess = [](std::uint32_t a) { return a & (kGenericRead | kGenericWrite); };
  if (dataAccess(access) == 0) return false;
  // What each access needs the other side to share.
  const auto shared = [](std::uint32_t a, std::uint32_t share) {
    return ((a & kGenericRead) == 0 || (share & kFileShareRead) != 0) &&
           ((a & kGenericWrite) == 0 || (share & kFileShareWrite) != 0);
  };
  return std::any_of(handles_.begin(), handles_.end(), [&](const auto& handle) {
    const OpenFile& open = handle.second;
    if (open.key != key || !open.stream.empty() || dataAccess(open.access) == 0) return false;
    return !shared(access, open.share) || !shared(open.access, shareMode);
  });
}

std::u16string FakeFileSystem::Key(std::u16string_view path) const { return NtUpper(Full(path)); }

void FakeFileSystem::Remember(std::u16string_view path) {
  const std::u16string full = Full(path);
  std::size_t end = full.size();
  while (end > 2) {
    const std::size_t slash = full.rfind(u'\\', end - 1);
    if (slash == std::u16string::npos) break;
    const std::u16string prefix = full.substr(0, end);
    names_.emplace(NtUpper(prefix), full.substr(slash + 1, end - slash - 1));
    end = slash;
  }
}

void FakeFileSystem::AddFolder(std::u16string_view path) {
  Remember(path);
  std::optional<std::u16string> key = Key(path);
  while (key) {
    if (folders_.insert(*key).second) AssignShortName(*key);
    key = Parent(*key);
  }
}

FakeFile& FakeFileSystem::AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes) {
  Remember(path);
  const std::u16string key = Key(path);
  if (const auto parent = Parent(key)) AddFolder(*parent);
  FakeFile& file = files_[key];
  file = FakeFile{};
  AssignShortName(key);
  file.bytes = std::move(bytes);
  return file;
}

void FakeFileSystem::AddJunction(std::u16string_view path, std::u16string_view target) {
  AddFolder(path);
  junctions_[Key(path)] = Key(target);
}

void FakeFileSystem::AddMountPoint(std::u16string_view path, char16_t drive) {
  AddJunction(path, std::u16string{drive, u':', u'\\'});
}

void FakeFileSystem::RefuseListing(std::u16string_view path) { unlistable_.insert(Key(path)); }

bool FakeFileSystem::HasLetter(const std::u16string& key) const {
  if (key.size() < 2 || key[1] != u':') return true;
  const auto drive = drives.find(key[0]);
  return drive == drives.end() || drive->second.hasLetter;
}

std::u16string FakeFileSystem::Resolve(std::u16string key) const {
  // A junction loop resolves a bounded number of times, as the system's
  // limit on reparse points in one path.
  for (int round = 0; round < 63; ++round) {
    bool replaced = false;
    for (const auto& [junction, target] : junctions_) {
      if (key == junction ||
          (key.size() > junction.size() && key.compare(0, junction.size(), junction) == 0 &&
           key[junction.size()] == u'\\')) {
        key = target + key.substr(junction.size());
        replaced = true;
        break;
      }
    }
    if (!replaced) break;
  }
  return key;
}

std::u16string FakeFileSystem::ListedName(const std::u16string& key) const {
  const auto it = names_.find(key);
  if (it != names_.end()) return it->second;
  return key.substr(key.rfind(u'\\') + 1);
}

FakeFile* FakeFileSystem::Find(std::u16string_view path) {
  const auto it = files_.find(Resolve(Key(path)));
  return it == files_.end() ? nullptr : &it->second;
}

std::string FakeFileSystem::Text(std::u16string_view path) {
  const FakeFile* file = Find(path);
  return file == nullptr ? std::string() : std::string(file->bytes.begin(), file->bytes.end());
}

bool FakeFileSystem::FolderExists(std::u16string_view path) const {
  return folders_.count(Key(path)) != 0;
}

bool FakeFileSystem::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
  const std::u16string key = Key(path);
  if (folders_.count(key) != 0) return true;
  const auto it = files_.find(key);
  if (it == files_.end() || !Step()) return false;
  // FILE_ATTRIBUTE_NORMAL is valid only alone; the directory bit cannot be set.
  it->second.attributes = attributes == kFileAttributeNormal
                              ? kFileAttributeNormal
                              : attributes & ~(kFileAttributeNormal | kFileAttributeDirectory);
  return true;
}

bool FakeFileSystem::Delete(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  const auto it = files_.find(key);
  if (it == files_.end()) return false;
  const FakeFile& file = it->second;
  if ((file.attributes & kFileAttributeReadOnly) != 0 || file.refusesOpening) return false;
  if (IsOpen(key) || !Step()) return false;
  files_.erase(it);
  shortNames_.erase(key);
  return true;
}

std::optional<std::uint32_t> FakeFileSystem::Attributes(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  if (folders_.count(key) != 0) {
    return kFileAttributeDirectory |
           (junctions_.count(Key(path)) != 0 ? kFileAttributeReparsePoint : 0);
  }
  const auto it = files_.find(key);
  if (it == files_.end() || it->second.attributesFail) return std::nullopt;
  return it->second.attributes;
}

FileMoveResult FakeFileSystem::Move(std::u16string_view from, std::u16string_view to,
                                    bool replace) {
  const auto refused = [](std::uint32_t lastError) { return FileMoveResult{false, lastError}; };
  const std::u16string fromKey = Resolve(Key(from));
  const std::u16string toKey = Resolve(Key(to));
  const auto it = files_.find(fromKey);
  if (it == files_.end()) {
    return refused(folders_.count(fromKey) != 0 ? kErrorAccessDenied : kErrorFileNotFound);
  }
  // The file is opened for deleting before the new name is looked at.
  if (it->second.refusesOpening || IsOpen(fromKey)) return refused(kErrorSharingViolation);
  const auto parent = Parent(toKey);
  if (!parent || folders_.count(*parent) == 0) return refused(kErrorPathNotFound);
  if (folders_.count(toKey) != 0) return refused(kErrorAlreadyExists);
  if (fromKey == toKey) return Step() ? FileMoveResult{true, 0} : refused(kErrorAccessDenied);
  const auto taken = files_.find(toKey);
  if (taken != files_.end()) {
    const FakeFile& old = taken->second;
    if (!replace) return refused(kErrorAlreadyExists);
    if ((old.attributes & kFileAttributeReadOnly) != 0 || old.refusesOpening || IsOpen(toKey)) {
      return refused(kErrorAccessDenied);
    }
  }
  if (!Step()) return refused(kErrorAccessDenied);
  FakeFile moved = std::move(it->second);
  files_.erase(it);
  files_[toKey] = std::move(moved);
  names_.erase(toKey);
  Remember(to);
  // The entry gets the short name of its new long name.
  shortNames_.erase(fromKey);
  shortNames_.erase(toKey);
  AssignShortName(toKey);
  return FileMoveResult{true, 0};
}

bool FakeFileSystem::ScheduleMove(std::u16string_view from, std::optional<std::u16string_view> to) {
  if (delayedMovesRefused || !Step()) return false;
  delayedMoves.push_back(FakeDelayedMove{Full(from), to ? Full(*to) : std::u16string()});
  return true;
}

bool FakeFileSystem::Store(std::u16string_view path, std::vector<std::uint8_t> bytes) {
  const std::u16string key = Resolve(Key(path));
  const auto parent = Parent(key);
  if (!parent || folders_.count(*parent) == 0 || folders_.count(key) != 0) return false;
  const auto it = files_.find(key);
  if (it != files_.end() && ((it->second.attributes & kFileAttributeReadOnly) != 0 ||
                             it->second.refusesOpening || it->second.writesFail)) {
    return false;
  }
  if (!Step()) return false;
  if (it == files_.end()) {
    Remember(path);
    files_[key].bytes = std::move(bytes);
    AssignShortName(key);
  } else {
    it->second.bytes = std::move(bytes);
  }
  return true;
}

FileOpenResult FakeFileSystem::Open(std::u16string_view path, std::uint32_t access,
                                    std::uint32_t creationDisposition,
                                    std::uint32_t flagsAndAttributes, std::uint32_t shareMode) {
  if (!HasLetter(Key(path))) return FileOpenResult{0, kErrorPathNotFound};
  std::u16string key = Resolve(Key(path));
  // "file:stream" opens a named stream of an existing file.
  const std::size_t colon = key.find(u':', 2);
  if (colon != std::u16string::npos) {
    std::u16string stream = key.substr(colon + 1);
    key.resize(colon);
    const auto it = files_.find(key);
    if (it == files_.end()) return FileOpenResult{0, kErrorFileNotFound};
    if (it->second.refusesOpening) return FileOpenResult{0, kErrorSharingViolation};
    const bool found = std::any_of(it->second.streams.begin(), it->second.streams.end(),
                                   [&](const FakeStream& s) { return NtUpper(s.name) == stream; });
    if (!found || (creationDisposition != kOpenExisting && creationDisposition != kOpenAlways)) {
      return FileOpenResult{0, found ? kErrorInvalidParameter : kErrorFileNotFound};
    }
    const Handle handle = nextHandle_++;
    handles_[handle] = OpenFile{key, std::move(stream), access, 0};
    return FileOpenResult{handle, 0};
  }
  if (beforeOpen) beforeOpen(path, access);
  if (folders_.count(key) != 0) {
    const bool opensFolder =
        (flagsAndAttributes & kFileFlagBackupSemantics) != 0 &&
        (creationDisposition == kOpenExisting || creationDisposition == kOpenAlways);
    if (!opensFolder) return FileOpenResult{0, kErrorAccessDenied};
    const Handle handle = nextHandle_++;
    handles_[handle] = OpenFile{key, {}, access, 0, shareMode, true};
    return FileOpenResult{handle, 0};
  }
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
    if (file.refusesOpening || SharingConflicts(key, access, shareMode)) {
      return FileOpenResult{0, kErrorSharingViolation};
    }
    const bool writing = (access & kGenericWrite) != 0 || truncate;
    if (writing && (file.attributes & kFileAttributeReadOnly) != 0) {
      return FileOpenResult{0, kErrorAccessDenied};
    }
    if (writing && !Step()) return FileOpenResult{0, kErrorAccessDenied};
    if (truncate) it->second.bytes.clear();
    if (creationDisposition == kCreateAlways || creationDisposition == kOpenAlways) {
      lastError = kErrorAlreadyExists;
    }
  } else if (create) {
    if (!Step()) return FileOpenResult{0, kErrorAccessDenied};
    FakeFile file;
    file.attributes = kFileAttributeArchive |
                      (flagsAndAttributes &
                       (kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem));
    files_[key] = file;
    Remember(path);
    AssignShortName(key);
  }

  const Handle handle = nextHandle_++;
  handles_[handle] = OpenFile{key, {}, access, 0, shareMode};
  return FileOpenResult{handle, lastError};
}

std::uint32_t FakeFileSystem::CreateFolder(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  if (folders_.count(key) != 0 || files_.count(key) != 0) return kErrorAlreadyExists;
  const auto parent = Parent(key);
  if (!parent || folders_.count(*parent) == 0) return kErrorPathNotFound;
  if (!Step()) return kErrorAccessDenied;
  Remember(path);
  folders_.insert(key);
  return 0;
}

bool FakeFileSystem::RemoveFolder(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  if (folders_.count(key) == 0 || !Parent(key)) return false;
  const std::u16string below = key + u"\\";
  const auto holds = [&](const std::u16string& other) {
    return other.compare(0, below.size(), below) == 0;
  };
  if (std::any_of(folders_.begin(), folders_.end(), holds) ||
      std::any_of(files_.begin(), files_.end(), [&](const auto& f) { return holds(f.first); })) {
    return false;
  }
  if (!Step()) return false;
  folders_.erase(key);
  return true;
}

std::optional<FileIdentity> FakeFileSystem::Identify(Handle file) {
  const auto it = handles_.find(file);
  if (it == handles_.end()) return std::nullopt;
  const std::u16string& key = it->second.key;
  if (folders_.count(key) == 0 && files_.count(key) == 0) return std::nullopt;
  const auto index = fileIndexes_.emplace(key, fileIndexes_.size() + 1).first->second;
  return FileIdentity{key.empty() ? 0u : std::uint32_t{key[0]}, index};
}

FakeFileSystem::OpenFile* FakeFileSystem::Opened(Handle file) {
  const auto it = handles_.find(file);
  if (it == handles_.end() || BytesOf(it->second) == nullptr) return nullptr;
  return &it->second;
}

std::vector<std::uint8_t>* FakeFileSystem::BytesOf(const OpenFile& open) {
  const auto it = files_.find(open.key);
  if (it == files_.end()) return nullptr;
  if (open.stream.empty()) return &it->second.bytes;
  for (FakeStream& stream : it->second.streams) {
    if (NtUpper(stream.name) == open.stream) return &stream.bytes;
  }
  return nullptr;
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
      base = static_cast<std::int64_t>(BytesOf(*open)->size());
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
  if (open == nullptr || (open->access & kGenericWrite) == 0 || !Step()) return false;
  BytesOf(*open)->resize(static_cast<std::size_t>(open->position));
  return true;
}

std::optional<std::uint32_t> FakeFileSystem::Write(Handle file,
                                                   std::span<const std::uint8_t> bytes) {
  OpenFile* open = Opened(file);
  if (open == nullptr || (open->access & kGenericWrite) == 0) return std::nullopt;
  if (files_[open->key].writesFail) return std::nullopt;
  std::vector<std::uint8_t>& target = *BytesOf(*open);
  const auto at = static_cast<std::size_t>(open->position);
  if (!Step()) {
    // A disk that fills up midway: the first half is stored.
    const std::size_t half = bytes.size() / 2;
    if (target.size() < at + half) target.resize(at + half);
    std::copy_n(bytes.begin(), half, target.begin() + static_cast<std::ptrdiff_t>(at));
    open->position += half;
    return std::nullopt;
  }
  // Writing past the end fills the gap with zeros, as the system does.
  if (target.size() < at + bytes.size()) target.resize(at + bytes.size());
  std::copy(bytes.begin(), bytes.end(), target.begin() + static_cast<std::ptrdiff_t>(at));
  open->position += bytes.size();
  writes.push_back(FakeWrite{open->key, bytes.size()});
  return static_cast<std::uint32_t>(bytes.size());
}

bool FakeFileSystem::Close(Handle file) { return handles_.erase(file) != 0; }

std::optional<std::uint64_t> FakeFileSystem::Size(Handle file) {
  OpenFile* open = Opened(file);
  if (open == nullptr) return std::nullopt;
  return BytesOf(*open)->size();
}

std::optional<std::uint32_t> FakeFileSystem::Read(Handle file, std::span<std::uint8_t> buffer) {
  OpenFile* open = Opened(file);
  if (open == nullptr || (open->access & kGenericRead) == 0) return std::nullopt;
  const std::vector<std::uint8_t>& bytes = *BytesOf(*open);
  if (open->position >= bytes.size()) return 0;
  const std::size_t n =
      std::min<std::size_t>(buffer.size(), bytes.size() - static_cast<std::size_t>(open->position));
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(open->position), n, buffer.begin());
  open->position += n;
  return static_cast<std::uint32_t>(n);
}

DriveStrings FakeFileSystem::LogicalDriveStrings(std::uint32_t bufferLength) const {
  if (driveStringsFail) return {};
  std::u16string strings;
  for (const auto& [letter, drive] : drives) {
    if (!drive.hasLetter) continue;
    strings += letter;
    strings += u":\\";
    strings += u'\0';
  }
  strings += u'\0';
  DriveStrings out{static_cast<std::uint32_t>(strings.size() - 1), {}};
  if (out.answer < bufferLength) out.strings = std::move(strings);
  return out;
}

std::uint32_t FakeFileSystem::DriveType(std::u16string_view rootPath) const {
  if (rootPath.size() < 2 || rootPath[1] != u':' || rootPath.size() > 3 ||
      (rootPath.size() == 3 && rootPath[2] != u'\\')) {
    return kDriveNoRootDir;
  }
  const auto it = drives.find(NtUpper(rootPath[0]));
  return it == drives.end() || !it->second.hasLetter ? kDriveNoRootDir : it->second.type;
}

namespace {

// Whether `name` matches `pattern` of "*" (any run) and "?" (any one
// character); both upper case.
bool Matches(std::u16string_view name, std::u16string_view pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == u'*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (Matches(name.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  return !name.empty() && (pattern[0] == u'?' || pattern[0] == name[0]) &&
         Matches(name.substr(1), pattern.substr(1));
}

}  // namespace

std::optional<FindFirstResult> FakeFileSystem::FindFirst(std::u16string_view pattern) {
  const std::u16string key = Key(pattern);
  const std::size_t slash = key.rfind(u'\\');
  if (slash == std::u16string::npos || !HasLetter(key)) return std::nullopt;
  const std::u16string wildcard = key.substr(slash + 1);
  const bool listsAll = wildcard == u"*.*" || wildcard == u"*";
  const std::u16string folder = Resolve(key.substr(0, slash));
  const auto drive = drives.find(folder[0]);
  if (drive == drives.end() || !drive->second.hasMedia || folders_.count(folder) == 0) {
    return std::nullopt;
  }

  Search search;
  if (wildcard.find_first_of(u"*?") == std::u16string::npos) {
    // A plain name finds the file or folder itself.
    const std::u16string target = Resolve(key);
    if (folders_.count(target) != 0) {
      const std::uint32_t reparse = junctions_.count(key) != 0 ? kFileAttributeReparsePoint : 0;
      search.entries.push_back(FindData{kFileAttributeDirectory | reparse, 0, ListedName(key)});
    } else if (const auto file = files_.find(target); file != files_.end()) {
      search.entries.push_back(FindData{file->second.attributes,
                                        file->second.listedSize.value_or(file->second.bytes.size()),
                                        ListedName(target)});
    } else {
      return std::nullopt;
    }
    const Handle handle = nextHandle_++;
    FindFirstResult result{handle, search.entries.front()};
    search.next = 1;
    searches_[handle] = std::move(search);
    return result;
  }
  if (unlistable_.count(folder) != 0) return std::nullopt;
  if (listsAll && folder.size() > 2) {  // every folder but a drive's root lists "." and ".."
    search.entries.push_back(FindData{kFileAttributeDirectory, 0, u"."});
    search.entries.push_back(FindData{kFileAttributeDirectory, 0, u".."});
  }
  // Folders and files in the order of their keys.
  const std::u16string below = folder + u'\\';
  std::map<std::u16string, FindData> listed;
  const auto isChild = [&](const std::u16string& k) {
    return k.size() > below.size() && k.compare(0, below.size(), below) == 0 &&
           k.find(u'\\', below.size()) == std::u16string::npos &&
           (listsAll || Matches(std::u16string_view(k).substr(below.size()), wildcard));
  };
  for (const std::u16string& k : folders_) {
    if (!isChild(k)) continue;
    const std::uint32_t reparse = junctions_.count(k) != 0 ? kFileAttributeReparsePoint : 0;
    listed[k] = FindData{kFileAttributeDirectory | reparse, 0, ListedName(k)};
  }
  for (const auto& [k, file] : files_) {
    if (!isChild(k)) continue;
    listed[k] =
        FindData{file.attributes, file.listedSize.value_or(file.bytes.size()), ListedName(k)};
  }
  for (auto& [k, data] : listed) search.entries.push_back(std::move(data));
  if (search.entries.empty()) return std::nullopt;  // as ERROR_FILE_NOT_FOUND

  const Handle handle = nextHandle_++;
  FindFirstResult result{handle, search.entries.front()};
  search.next = 1;
  searches_[handle] = std::move(search);
  return result;
}

std::optional<FindData> FakeFileSystem::FindNext(Handle search) {
  const auto it = searches_.find(search);
  if (it == searches_.end() || it->second.next >= it->second.entries.size()) return std::nullopt;
  return it->second.entries[it->second.next++];
}

bool FakeFileSystem::FindClose(Handle search) { return searches_.erase(search) != 0; }

namespace {

// The parts of a backup stream, in order: for the main data and then each
// named stream a header, a name and the data.
struct BackupPart {
  std::vector<std::uint8_t> bytes;
  bool isData = false;
};

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AddBackupStream(std::vector<BackupPart>& parts, std::uint32_t id, std::u16string_view name,
                     const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> header;
  PutLe(header, id, 4);
  PutLe(header, 0, 4);  // attributes
  PutLe(header, data.size(), 8);
  PutLe(header, name.size() * 2, 4);
  parts.push_back(BackupPart{std::move(header), false});
  std::vector<std::uint8_t> nameBytes;
  for (const char16_t c : name) PutLe(nameBytes, c, 2);
  parts.push_back(BackupPart{std::move(nameBytes), false});
  parts.push_back(BackupPart{data, true});
}

std::vector<BackupPart> BackupPartsOf(const FakeFile& file) {
  constexpr std::uint32_t kBackupData = 1;
  constexpr std::uint32_t kBackupAlternateData = 4;
  std::vector<BackupPart> parts;
  AddBackupStream(parts, kBackupData, u"", file.bytes);
  for (const FakeStream& stream : file.streams) {
    AddBackupStream(parts, kBackupAlternateData, u":" + stream.name + u":$DATA", stream.bytes);
  }
  return parts;
}

// The part that holds `position`, and how far into it; the end when past all.
struct BackupPlace {
  std::size_t part = 0;
  std::uint64_t within = 0;
};

BackupPlace PlaceOf(const std::vector<BackupPart>& parts, std::uint64_t position) {
  BackupPlace place;
  while (place.part < parts.size() && position >= parts[place.part].bytes.size()) {
    position -= parts[place.part].bytes.size();
    ++place.part;
  }
  place.within = position;
  return place;
}

}  // namespace

BackupReadResult FakeFileSystem::BackupRead(Handle file, std::span<std::uint8_t> buffer, bool abort,
                                            std::uint64_t& context) {
  ++backupReadCalls;
  OpenFile* open = Opened(file);
  if (backupReadError) return BackupReadResult{std::nullopt, *backupReadError};
  if (abort) {
    context = 0;
    return BackupReadResult{0, 0};
  }
  if (open == nullptr || !open->stream.empty())
    return BackupReadResult{std::nullopt, kErrorInvalidHandle};
  const FakeFile& opened = files_[open->key];
  if (opened.backupReadError) return BackupReadResult{std::nullopt, *opened.backupReadError};
  const std::vector<BackupPart> parts = BackupPartsOf(opened);
  const BackupPlace place = PlaceOf(parts, context);
  if (place.part == parts.size()) return BackupReadResult{0, 0};
  const std::vector<std::uint8_t>& bytes = parts[place.part].bytes;
  const std::size_t n =
      std::min<std::size_t>(buffer.size(), bytes.size() - static_cast<std::size_t>(place.within));
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(place.within), n, buffer.begin());
  context += n;
  return BackupReadResult{static_cast<std::uint32_t>(n), 0};
}

BackupSeekResult FakeFileSystem::BackupSeek(Handle file, std::uint64_t distance,
                                            std::uint64_t& context) {
  OpenFile* open = Opened(file);
  if (open == nullptr || !open->stream.empty()) return BackupSeekResult{};
  const std::vector<BackupPart> parts = BackupPartsOf(files_[open->key]);
  BackupPlace place = PlaceOf(parts, context);
  // Right after a header and an empty name the data comes next.
  while (place.part < parts.size() && !parts[place.part].isData && place.within == 0 &&
         parts[place.part].bytes.empty()) {
    ++place.part;
  }
  if (place.part == parts.size() || !parts[place.part].isData) return BackupSeekResult{};
  const std::uint64_t left = parts[place.part].bytes.size() - place.within;
  const std::uint64_t seeked = std::min(distance, left);
  context += seeked;
  return BackupSeekResult{seeked == distance, seeked};
}

// --- Short names and the next start. ---

namespace {

// Characters that short names cannot hold besides blanks and control
// characters (the FAT overview's notes on DIR_Name; "+,;=[]" may appear in
// long names only). The fake's short names are printable ASCII.
constexpr std::u16string_view kNotInShortNames = u"\"*+,./:;<=>?[\\]|";

bool IsShortNameCharacter(char16_t c) {
  return c > 0x20 && c < 0x7F && kNotInShortNames.find(c) == std::u16string_view::npos;
}

// One to eight characters, optionally a dot and one to three more.
bool IsShortName(std::u16string_view name) {
  const std::size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view extension =
      dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::u16string_view::npos && extension.empty()) return false;
  return std::all_of(base.begin(), base.end(), IsShortNameCharacter) &&
         std::all_of(extension.begin(), extension.end(), IsShortNameCharacter);
}

// The short name of a new entry named `name` (upper case) beside entries
// whose short names are `taken` (see fake_files.h).
std::u16string MakeShortName(std::u16string_view name, const std::set<std::u16string>& taken) {
  if (IsShortName(name)) return std::u16string(name);
  std::u16string cleaned;
  for (const char16_t c : name) {
    if (c == u' ') continue;
    cleaned += (c == u'.' || IsShortNameCharacter(c)) ? c : u'_';
  }
  cleaned.erase(0, cleaned.find_first_not_of(u'.'));
  const std::u16string basis = cleaned.substr(0, std::min<std::size_t>(cleaned.find(u'.'), 8));
  const std::size_t lastDot = cleaned.rfind(u'.');
  const std::u16string extension =
      lastDot == std::u16string::npos ? std::u16string() : cleaned.substr(lastDot + 1, 3);
  for (int n = 1;; ++n) {
    const std::u16string tail = u"~" + text::FromAscii(std::to_string(n));
    std::u16string candidate = basis.substr(0, 8 - tail.size()) + tail;
    if (!extension.empty()) candidate += u"." + extension;
    if (taken.count(candidate) == 0) return candidate;
  }
}

// The drive of a key ("C:"), or its share ("\\SERVER\SHARE").
std::u16string VolumeOf(const std::u16string& key) {
  if (key.size() >= 2 && key[1] == u':') return key.substr(0, 2);
  const std::size_t share = key.find(u'\\', 2);
  return key.substr(0, share == std::u16string::npos ? key.size() : key.find(u'\\', share + 1));
}

}  // namespace

void FakeFileSystem::AssignShortName(const std::u16string& key) {
  const auto parent = Parent(key);
  if (!parent || shortNames_.count(key) != 0) return;
  std::set<std::u16string> taken;
  for (const auto& [other, shortName] : shortNames_) {
    if (Parent(other) == parent) taken.insert(text::ToUpper(shortName));
  }
  shortNames_[key] = MakeShortName(std::u16string_view(key).substr(parent->size() + 1), taken);
}

void FakeFileSystem::DropShortName(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  shortNames_[key] = ListedName(key);
}

std::optional<std::u16string> FakeFileSystem::ShortPath(std::u16string_view path) {
  const std::u16string key = Resolve(Key(path));
  if (files_.count(key) == 0 && folders_.count(key) == 0) return std::nullopt;
  std::vector<std::u16string> parts;
  std::u16string at = key;
  while (const auto parent = Parent(at)) {
    const auto shortName = shortNames_.find(at);
    parts.push_back(shortName != shortNames_.end() ? shortName->second : ListedName(at));
    at = *parent;
  }
  if (parts.empty()) return at + u"\\";
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) at += u"\\" + *part;
  return at;
}

std::optional<std::u16string> FakeFileSystem::KeyOfShortPath(std::u16string_view path,
                                                             bool newLast) {
  const std::u16string full = Key(path);
  if (full.size() < 2 || full[1] != u':') return std::nullopt;
  std::u16string at = full.substr(0, 2);
  std::size_t from = 2;
  while (from < full.size()) {
    std::size_t end = full.find(u'\\', from + 1);
    if (end == std::u16string::npos) end = full.size();
    const std::u16string part = full.substr(from + 1, end - from - 1);
    if (!IsShortName(part)) return std::nullopt;
    const auto named = std::find_if(shortNames_.begin(), shortNames_.end(), [&](const auto& entry) {
      return Parent(entry.first) == at && text::ToUpper(entry.second) == part &&
             (files_.count(entry.first) != 0 || folders_.count(entry.first) != 0);
    });
    if (named != shortNames_.end()) {
      at = named->first;
    } else if (newLast && end == full.size() && folders_.count(at) != 0) {
      at += u"\\" + part;
    } else {
      return std::nullopt;
    }
    from = end;
  }
  return at;
}

void FakeFileSystem::MoveEntry(const std::u16string& from, const std::u16string& to) {
  FakeFile moved = std::move(files_[from]);
  files_.erase(from);
  shortNames_.erase(from);
  files_[to] = std::move(moved);
  shortNames_.erase(to);
  names_.erase(to);
  Remember(to);
  AssignShortName(to);
}

void FakeFileSystem::CarryOutWininit(std::u16string_view windowsDirectory) {
  const std::u16string iniPath = std::u16string(windowsDirectory) + u"\\WININIT.INI";
  const std::string ini = Text(iniPath);
  if (Find(iniPath) == nullptr) return;
  bool inRename = false;
  std::size_t start = 0;
  while (start < ini.size()) {
    std::size_t end = ini.find('\n', start);
    if (end == std::string::npos) end = ini.size();
    std::string_view line = std::string_view(ini).substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    const std::u16string wide(line.begin(), line.end());
    if (wide.starts_with(u'[')) {
      inRename = text::EqualsNoCase(wide, u"[rename]");
      continue;
    }
    const std::size_t equals = wide.find(u'=');
    if (!inRename || equals == std::u16string::npos) continue;
    const auto source = KeyOfShortPath(std::u16string_view(wide).substr(equals + 1), false);
    if (!source || files_.count(*source) == 0) continue;
    const bool sourceReadOnly = (files_[*source].attributes & kFileAttributeReadOnly) != 0;
    const std::u16string_view target = std::u16string_view(wide).substr(0, equals);
    if (text::EqualsNoCase(target, u"NUL")) {
      if (!sourceReadOnly) {
        files_.erase(*source);
        shortNames_.erase(*source);
      }
      continue;
    }
    const auto to = KeyOfShortPath(target, true);
    if (!to || *to == *source || folders_.count(*to) != 0 || VolumeOf(*to) != VolumeOf(*source)) {
      continue;
    }
    const auto replaced = files_.find(*to);
    if (replaced != files_.end() && (replaced->second.attributes & kFileAttributeReadOnly) != 0) {
      continue;
    }
    MoveEntry(*source, *to);
  }
  const std::u16string bakKey = Key(std::u16string(windowsDirectory) + u"\\WININIT.BAK");
  MoveEntry(Key(iniPath), bakKey);
}

void FakeFileSystem::CarryOutDelayedMoves() {
  for (const FakeDelayedMove& move : delayedMoves) {
    const std::u16string from = Resolve(Key(move.from));
    if (files_.count(from) == 0) continue;
    if (move.to.empty()) {
      files_.erase(from);
      shortNames_.erase(from);
      continue;
    }
    const std::u16string to = Resolve(Key(move.to));
    const auto parent = Parent(to);
    if (files_.count(to) != 0 || folders_.count(to) != 0 || !parent ||
        folders_.count(*parent) == 0 || VolumeOf(to) != VolumeOf(from)) {
      continue;
    }
    MoveEntry(from, to);
  }
  delayedMoves.clear();
}

void FakeFileSystem::StartAgain(bool windows9x, std::u16string_view windowsDirectory) {
  handles_.clear();
  searches_.clear();
  for (auto& [key, file] : files_) file.refusesOpening = false;
  if (windows9x) {
    CarryOutWininit(windowsDirectory);
  } else {
    CarryOutDelayedMoves();
  }
}

// --- The fake's file operations. ---

namespace {

// The path that the system acts on for `path` as a program passes it, or
// nothing when it refuses the path for its form or length. Real rule
// ("Naming Files, Paths, and Namespaces" in the Windows SDK documentation):
// MAX_PATH is 260 characters with the terminating zero; the wide functions of
// the NT family take "\\?\" followed by a full path of up to about 32767
// characters as it is; the narrow functions, all that Windows 9x/ME offer,
// have no such form.
std::optional<std::u16string_view> SystemPath(FakeSystem& system, std::u16string_view path) {
  constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
  constexpr std::size_t kMaxPath = 259;
  constexpr std::size_t kMaxLongPath = 32766;
  if (path.starts_with(kLongPathPrefix)) {
    const bool windows9x = system.version && system.version->platformId == kPlatformWin32Windows;
    if (windows9x || path.size() > kMaxLongPath) return std::nullopt;
    return path.substr(kLongPathPrefix.size());
  }
  if (system.fileSystem.Key(path).size() > kMaxPath) return std::nullopt;
  return path;
}

}  // namespace

DriveStrings FakeFilesArea::GetLogicalDriveStringsWide(std::uint32_t bufferLength) {
  return system_.fileSystem.LogicalDriveStrings(bufferLength);
}

std::uint32_t FakeFilesArea::GetDriveTypeWide(std::u16string_view rootPath) {
  return system_.fileSystem.DriveType(rootPath);
}

std::optional<FindFirstResult> FakeFilesArea::FindFirstFileWide(std::u16string_view pattern) {
  const auto path = SystemPath(system_, pattern);
  if (!path) return std::nullopt;
  return system_.fileSystem.FindFirst(*path);
}

std::optional<FindData> FakeFilesArea::FindNextFileWide(Handle search) {
  return system_.fileSystem.FindNext(search);
}

bool FakeFilesArea::FindClose(Handle search) { return system_.fileSystem.FindClose(search); }

std::optional<std::uint64_t> FakeFilesArea::GetFileSize(Handle file) {
  return system_.fileSystem.Size(file);
}

std::optional<std::uint32_t> FakeFilesArea::ReadFile(Handle file, std::span<std::uint8_t> buffer) {
  return system_.fileSystem.Read(file, buffer);
}

bool FakeFilesArea::SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) {
  const auto systemPath = SystemPath(system_, path);
  return systemPath && system_.fileSystem.SetAttributes(*systemPath, attributes);
}

FileOpenResult FakeFilesArea::CreateFileWide(std::u16string_view path, std::uint32_t access,
                                             std::uint32_t shareMode,
                                             std::uint32_t creationDisposition,
                                             std::uint32_t flagsAndAttributes) {
  const auto systemPath = SystemPath(system_, path);
  if (!systemPath) return FileOpenResult{0, kErrorPathNotFound};
  // Windows 9x/ME open no folder: the flag does nothing there.
  if (system_.version && system_.version->platformId == kPlatformWin32Windows) {
    flagsAndAttributes &= ~kFileFlagBackupSemantics;
  }
  return system_.fileSystem.Open(*systemPath, access, creationDisposition, flagsAndAttributes,
                                 shareMode);
}

std::optional<FileIdentity> FakeFilesArea::GetFileInformationByHandle(Handle file) {
  return system_.fileSystem.Identify(file);
}

std::uint32_t FakeFilesArea::CreateDirectoryWide(std::u16string_view path) {
  const auto systemPath = SystemPath(system_, path);
  if (!systemPath) return kErrorPathNotFound;
  return system_.fileSystem.CreateFolder(*systemPath);
}

bool FakeFilesArea::RemoveDirectoryWide(std::u16string_view path) {
  const auto systemPath = SystemPath(system_, path);
  return systemPath && system_.fileSystem.RemoveFolder(*systemPath);
}

std::optional<std::uint32_t> FakeFilesArea::GetFileAttributesWide(std::u16string_view path) {
  const auto systemPath = SystemPath(system_, path);
  if (!systemPath) return std::nullopt;
  return system_.fileSystem.Attributes(*systemPath);
}

bool FakeFilesArea::DeleteFileWide(std::u16string_view path) {
  const auto systemPath = SystemPath(system_, path);
  return systemPath && system_.fileSystem.Delete(*systemPath);
}

FileMoveResult FakeFilesArea::MoveFileWide(std::u16string_view from, std::u16string_view to) {
  const auto systemFrom = SystemPath(system_, from);
  const auto systemTo = SystemPath(system_, to);
  if (!systemFrom || !systemTo) return FileMoveResult{false, kErrorPathNotFound};
  FileMoveResult result = system_.fileSystem.Move(*systemFrom, *systemTo, false);
  // Windows 9x/ME rename through MS-DOS's rename function (Int 21h function
  // 56h, 7156h for long names), which answers a new name that exists with
  // error 5, access denied (MS-DOS Programmer's Reference, function 56h).
  if (result.lastError == kErrorAlreadyExists && system_.version &&
      system_.version->platformId == kPlatformWin32Windows) {
    result.lastError = kErrorAccessDenied;
  }
  return result;
}

bool FakeFilesArea::MoveFileExWide(std::u16string_view from, std::optional<std::u16string_view> to,
                                   std::uint32_t flags) {
  if (system_.version && system_.version->platformId == kPlatformWin32Windows) return false;
  const auto systemFrom = SystemPath(system_, from);
  const auto systemTo = to ? SystemPath(system_, *to) : std::nullopt;
  if (!systemFrom || (to && !systemTo)) return false;
  if ((flags & kMoveFileDelayUntilReboot) != 0) {
    return system_.fileSystem.ScheduleMove(*systemFrom, systemTo);
  }
  if (!systemTo) return false;
  return system_.fileSystem.Move(*systemFrom, *systemTo, (flags & kMoveFileReplaceExisting) != 0)
      .moved;
}

std::optional<std::u16string> FakeFilesArea::GetShortPathNameWide(std::u16string_view path) {
  const auto systemPath = SystemPath(system_, path);
  if (!systemPath) return std::nullopt;
  return system_.fileSystem.ShortPath(*systemPath);
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
  FakeFileSystem& files = system_.fileSystem;
  return
      [&files](Handle file, std::span<std::uint8_t> buffer, bool abort, bool,
               std::uint64_t& context) { return files.BackupRead(file, buffer, abort, context); };
}

BackupSeekFunction FakeFilesArea::BindBackupSeek(Handle module) {
  if (!IsKernel32(system_, module) || system_.missingFunctions.count("BackupSeek") != 0) return {};
  FakeFileSystem& files = system_.fileSystem;
  return [&files](Handle file, std::uint64_t distance, std::uint64_t& context) {
    return files.BackupSeek(file, distance, context);
  };
}

ShFileOperationFunction FakeFilesArea::BindShFileOperation(Handle library) {
  if (!system_.IsLibraryLoaded(library, u"shell32.dll") ||
      system_.missingFunctions.count("SHFileOperationW") != 0) {
    return {};
  }
  FakeFileSystem& files = system_.fileSystem;
  return [&files](const ShellFileOperation& operation) {
    files.shellOperations.push_back(operation);
    return files.shellOperationAnswer;
  };
}

}  // namespace platform::fake
