#include "detect/file_scanner.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "common/bytes.h"
#include "common/limits.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "detect/executable_search.h"
#include "platform/scoped_handle.h"
#include "scan/malware_handler.h"
#include "scan/texts.h"
#include "signatures/signature_index.h"

namespace detect {
namespace {

// The folders of a drive walked so far, by identity: a hash set of its own.
// The standard library's tree and hash containers lean on functions that
// come compiled for later processors than the i486 the program runs on.
class FolderIdentitySet {
 public:
  // Adds `id`; false when it was there already.
  bool Insert(const platform::FileIdentity& id) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    return Place(id);
  }
  void Clear() {
    slots_.clear();
    count_ = 0;
  }

 private:
  struct Slot {
    platform::FileIdentity id;
    bool used = false;
  };

  static std::size_t Hash(const platform::FileIdentity& id) {
    std::uint64_t h =
        (id.fileIndex ^ (std::uint64_t{id.volumeSerialNumber} << 32)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  bool Place(const platform::FileIdentity& id) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(id) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (!slot.used) {
        slot = Slot{id, true};
        ++count_;
        return true;
      }
      if (slot.id == id) return false;
    }
  }

  // Doubles the table (64 slots at first), keeping it at most half full.
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    count_ = 0;
    for (const Slot& slot : old) {
      if (slot.used) Place(slot.id);
    }
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

using codes::ScanResult;

// GetLogicalDriveStringsW gets a buffer of this many characters.
constexpr std::uint32_t kDriveStringsBuffer = 1023;
// The longest path, search pattern or stream path that the system takes as
// it is (MAX_PATH with the terminating zero). A longer one is never cut.
constexpr std::size_t kMaxPathLength = limits::kMaxPathChars - 1;
// On the NT family a longer path is given behind this prefix, which takes
// paths of up to 32767 characters with the terminating zero.
constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
constexpr std::size_t kMaxLongPathLength = 32766;
// The longest drive-not-found message.
constexpr std::size_t kMaxMessageLength = 800;
// Stream names longer than this (in bytes) are not names the system gives;
// the listing stops at such a header.
constexpr std::uint32_t kMaxStreamNameBytes = 65534;
// The suffix ":$DATA" that names the type of a data stream.
constexpr std::size_t kStreamTypeSuffixLength = 6;

// The BackupRead errors by which the system says that it cannot read
// streams at all: a file system without the request (ERROR_INVALID_FUNCTION),
// one that declines it (ERROR_NOT_SUPPORTED, also Wine's answer), a system
// whose function is a stub (ERROR_CALL_NOT_IMPLEMENTED). Any other error
// (access denied, a sharing or lock violation) concerns one file.
bool SaysStreamsUnsupported(std::uint32_t error) {
  return error == platform::kErrorInvalidFunction || error == platform::kErrorNotSupported ||
         error == platform::kErrorCallNotImplemented;
}

// The root path that GetDriveTypeW wants for a drive name: "C:" becomes "C:\".
std::u16string RootOf(std::u16string_view drive) {
  std::u16string root(drive);
  if (root.size() == 2 && root[1] == u':') root.push_back(u'\\');
  return root;
}

bool IsFloppy(std::u16string_view drive) {
  return text::EqualsNoCase(drive, u"A:") || text::EqualsNoCase(drive, u"B:");
}

bool IsTakenType(std::uint32_t type) {
  return type == platform::kDriveRemovable || type == platform::kDriveFixed ||
         type == platform::kDriveCdrom;
}

// `directory` followed by `name`, with one backslash between them.
std::u16string Join(std::u16string_view directory, std::u16string_view name) {
  std::u16string joined(directory);
  if (joined.empty() || joined.back() != u'\\') joined.push_back(u'\\');
  joined += name;
  return joined;
}

}  // namespace

std::vector<StreamEntry> ListNamedStreams(platform::System& system, const sys::StreamReader& reader,
                                          std::u16string_view path, bool* unsupported) {
  std::vector<StreamEntry> streams;
  if (!reader.bound()) return streams;
  const platform::FileOpenResult opened = system.files().CreateFileWide(
      path, platform::kGenericRead, platform::kFileShareRead | platform::kFileShareDelete,
      platform::kOpenExisting, platform::kFileFlagBackupSemantics);
  if (opened.handle == 0) return streams;
  platform::ScopedHandle file(system.runtime(), opened.handle);

  const platform::BackupReadFunction& read = reader.backupRead();
  std::uint64_t context = 0;
  std::array<std::uint8_t, 20> header{};
  std::vector<std::uint8_t> nameBytes;
  const auto readInto = [&](std::span<std::uint8_t> buffer) {
    const platform::BackupReadResult got = read(file.get(), buffer, false, false, context);
    if (!got.read && unsupported != nullptr && SaysStreamsUnsupported(got.lastError)) {
      *unsupported = true;
    }
    return got.read;
  };
  for (;;) {
    const auto got = readInto(header);
    if (!got || *got != header.size()) break;
    StreamEntry entry;
    entry.id = bytes::LittleEndian32(header, 0);
    entry.attributes = bytes::LittleEndian32(header, 4);
    entry.size = bytes::LittleEndian(header, 8, 8);
    const std::uint32_t nameSize = bytes::LittleEndian32(header, 16);
    // The name is read whenever there is one, so that the next header is
    // read where it starts, also after an empty named stream.
    if (nameSize != 0) {
      if (nameSize > kMaxStreamNameBytes) break;
      nameBytes.resize(nameSize);
      const auto gotName = readInto(nameBytes);
      if (!gotName || *gotName != nameSize) break;
      if (entry.size != 0) {
        entry.name = bytes::Utf16Le(nameBytes);
        if (entry.name.size() > kStreamTypeSuffixLength) {
          entry.name.erase(entry.name.size() - kStreamTypeSuffixLength);
          streams.push_back(std::move(entry));
        }
      }
    }
    if (entry.size != 0 && !reader.backupSeek()(file.get(), entry.size, context).succeeded) {
      break;
    }
  }
  // Releases the context that the reads kept.
  read(file.get(), {}, true, false, context);
  std::reverse(streams.begin(), streams.end());
  return streams;
}

// One Run's walk over the drives: the scan context, the found flag, the drive
// being walked with the folders met on it, and the folder being listed.
class FileScanner::Walk {
 public:
  Walk(FileScanner& scanner, scan::ScanContext& context)
      : scanner_(scanner),
        context_(context),
        system_(scanner.systemContext_.system()),
        windows9x_(scanner.systemContext_.isWindows9x()),
        statistics_(context.statistics()),
        search_(context, std::span<std::uint8_t>(scanner.buffer_.get(), kBufferSize)) {}

  bool found() const { return found_; }

  ScanResult ScanDrive(const DriveEntry& drive) {
    if (Stopped()) return ScanResult::kStoppedByUser;
    drive_ = drive.name;
    walkedFolders_.Clear();
    streamsUnsupported_ = false;
    context_.AppendText(scan::LoadText(system_, strings::kScanningDrive));
    context_.AppendText(drive_);
    context_.AppendText(u" ...\r\n");
    // Floppy drives are not timed; their data counts in the kilobytes.
    const bool timed = !IsFloppy(drive_);
    const std::uint32_t start = system_.runtime().GetTickCount();
    const ScanResult walked = WalkDrive();
    if (timed) {
      const std::uint32_t end = system_.runtime().GetTickCount();
      statistics_.fileScanTime += static_cast<std::uint32_t>(end - start);
    }
    if (Stopped()) return ScanResult::kStoppedByUser;
    if (walked == ScanResult::kInvalidFileHandle) {
      std::u16string message =
          text::Format(scan::LoadText(system_, strings::kNoMediaInDrive), {drive_});
      if (message.size() > kMaxMessageLength) message.resize(kMaxMessageLength);
      context_.AppendText(message);
    }
    return ScanResult::kDone;
  }

 private:
  // A folder being listed: its search, the entry that FindFirstFileW gave
  // until it is taken, and the length of its part of `directory_`.
  struct Listing {
    platform::Handle search = 0;
    std::optional<platform::FindData> first;
    std::size_t directoryLength = 0;
  };

  bool Stopped() const { return context_.stopRequested(); }

  // The form of `path` that the system opens: the path itself when it is
  // short enough; on the NT family a longer one behind "\\?\"; nothing
  // when the system cannot reach it.
  std::optional<std::u16string> SystemPath(const std::u16string& path) const {
    if (path.size() <= kMaxPathLength) return path;
    if (windows9x_ || kLongPathPrefix.size() + path.size() > kMaxLongPathLength) {
      return std::nullopt;
    }
    std::u16string longPath;
    longPath.reserve(kLongPathPrefix.size() + path.size());
    longPath.append(kLongPathPrefix).append(path);
    return longPath;
  }

  // Names in the output a folder or file left out because its path is too
  // long for the system.
  void NoteTooLong(const std::u16string& path) {
    context_.AppendText(text::Format(scan::LoadText(system_, strings::kPathTooLong), {path}));
  }

  // Walks the drive depth first, in listing order, from its root. The
  // folders being listed are held in `listings` rather than on the call
  // stack, so that no depth of folders can exhaust the thread's stack.
  // kInvalidFileHandle when the root cannot be listed.
  ScanResult WalkDrive() {
    platform::Files& files = system_.files();
    std::vector<Listing> listings;
    directory_.assign(1, u'\\');
    const ScanResult root = Enter(listings, false);
    if (root != ScanResult::kDone) return root;
    while (!listings.empty()) {
      Listing& listing = listings.back();
      std::optional<platform::FindData> entry;
      if (listing.first) {
        entry = std::move(listing.first);
        listing.first.reset();
      } else {
        entry = files.FindNextFileWide(listing.search);
      }
      if (!entry || Stopped()) {
        files.FindClose(listing.search);
        listings.pop_back();
        continue;
      }
      if (entry->name == u"." || entry->name == u"..") continue;
      directory_.resize(listing.directoryLength);
      const std::u16string path = Join(drive_ + directory_, entry->name);
      if ((entry->attributes & platform::kFileAttributeDirectory) != 0) {
        directory_ = Join(directory_, entry->name);
        // What a subfolder's walk answers is not looked at.
        Enter(listings, (entry->attributes & platform::kFileAttributeReparsePoint) != 0);
      } else {
        ScanListedFile(path, *entry);
      }
    }
    return Stopped() ? ScanResult::kStoppedByUser : ScanResult::kDone;
  }

  // Starts listing the folder `directory_` ("\" for the root, else
  // "\name\name" without a trailing backslash) unless it was walked before:
  // kInvalidFileHandle when it cannot be listed.
  ScanResult Enter(std::vector<Listing>& listings, bool reparsePoint) {
    const std::u16string folder = drive_ + directory_;
    const std::u16string pattern = Join(folder, u"*.*");
    if (Stopped()) return ScanResult::kStoppedByUser;
    const auto systemPattern = SystemPath(pattern);
    if (!systemPattern) {
      NoteTooLong(folder);
      return ScanResult::kInvalidFileHandle;
    }
    if (!FirstVisit(folder, reparsePoint)) return ScanResult::kDone;
    platform::Files& files = system_.files();
    auto first = files.FindFirstFileWide(*systemPattern);
    if (!first) return ScanResult::kInvalidFileHandle;
    ++statistics_.scannedDirectories;
    listings.push_back(Listing{first->search, std::move(first->data), directory_.size()});
    return ScanResult::kDone;
  }

  // On the NT family: whether `folder` is met for the first time on this
  // drive, by the volume serial number and file index of what it leads to
  // (a handle opened without access, with backup semantics, follows a
  // junction or mount point). A folder that cannot be identified is walked,
  // unless it is a junction or mount point: one that leads nowhere cannot be
  // listed either, and without its identity a loop could not be told.
  // Windows 9x/ME have no reparse points and open no folders.
  bool FirstVisit(const std::u16string& folder, bool reparsePoint) {
    if (windows9x_) return true;
    const auto systemPath = SystemPath(folder);
    if (!systemPath) return !reparsePoint;
    platform::Files& files = system_.files();
    const platform::FileOpenResult opened = files.CreateFileWide(
        *systemPath, 0,
        platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete,
        platform::kOpenExisting, platform::kFileFlagBackupSemantics);
    if (opened.handle == 0) return !reparsePoint;
    platform::ScopedHandle handle(system_.runtime(), opened.handle);
    const auto identity = files.GetFileInformationByHandle(handle.get());
    if (!identity) return !reparsePoint;
    return walkedFolders_.Insert(*identity);
  }

  void ScanListedFile(const std::u16string& path, const platform::FindData& entry) {
    const std::uint32_t now = system_.runtime().GetTickCount();
    if (now - scanner_.lastStatusTick_ >= kStatusInterval) {
      context_.SetStatusText(path);
      scanner_.lastStatusTick_ = now;
    }
    const auto systemPath = SystemPath(path);
    // The listing's size in its low 32 bits, as the listing's low part.
    if (static_cast<std::uint32_t>(entry.size) > kMinimumFileSize) {
      if (!systemPath) {
        NoteTooLong(path);
        return;
      }
      ++statistics_.scannedFiles;
      ScanFile(*systemPath);
    }
    if (!systemPath || !scanner_.streamReaderBound_ || streamsUnsupported_) return;
    const auto streams = ListNamedStreams(system_, scanner_.systemContext_.streamReader(),
                                          *systemPath, &streamsUnsupported_);
    for (const StreamEntry& stream : streams) {
      const auto streamPath = SystemPath(path + stream.name);
      if (!streamPath) {
        NoteTooLong(path + stream.name);
        continue;
      }
      ScanFile(*streamPath);
      ++statistics_.scannedStreams;
    }
  }

  // Searches the file or stream at `path`; the first match is counted and
  // handed to its handler, with the file closed, as a finding with its path
  // and headers.
  void ScanFile(const std::u16string& path) {
    search_.Search(path, [this, &path](const signatures::SignatureIndexEntry& entry,
                                       const scan::PeFileHeaders& headers) {
      found_ = true;
      context_.CountInfectedFile();
      scan::HandlerOf(entry).Remove(context_, scan::FileFinding{path, headers});
    });
  }

  FileScanner& scanner_;
  scan::ScanContext& context_;
  platform::System& system_;
  const bool windows9x_;
  scan::ScanStatistics& statistics_;
  ExecutableSearch search_;
  std::u16string drive_;
  // The folder being listed, below the drive ("\" for its root).
  std::u16string directory_;
  // The folders of this drive walked so far (NT family).
  FolderIdentitySet walkedFolders_;
  // The system said that it cannot list streams on this drive.
  bool streamsUnsupported_ = false;
  bool found_ = false;
};

FileScanner::FileScanner(sys::SystemContext& systemContext)
    : systemContext_(systemContext), buffer_(std::make_unique<std::uint8_t[]>(kBufferSize)) {
  streamReaderBound_ = systemContext_.streamReader().Bind(systemContext_.system());
}

FileScanner::~FileScanner() { systemContext_.streamReader().Unbind(); }

codes::ScanResult FileScanner::Run(scan::ScanContext& context, const scan::DriveNameList& drives) {
  platform::Files& files = systemContext_.system().files();
  drives_.clear();
  if (!drives.empty()) {
    for (const std::u16string& name : drives) {
      if (drives_.size() == kMaxDrives) break;
      const std::uint32_t type = files.GetDriveTypeWide(RootOf(name));
      if (!IsTakenType(type) || name.empty()) continue;
      // A drive named twice is scanned once (C: and c: are two names).
      const bool repeated = std::any_of(drives_.begin(), drives_.end(), [&](const DriveEntry& d) {
        return !d.name.empty() && d.name[0] == name[0];
      });
      if (!repeated) drives_.push_back(DriveEntry{name, type});
    }
  } else {
    const platform::DriveStrings roots = files.GetLogicalDriveStringsWide(kDriveStringsBuffer);
    // An answer that does not fit the buffer left nothing in it.
    if (roots.answer == 0 || roots.answer >= kDriveStringsBuffer) {
      return ScanResult::kNoDrivesFound;
    }
    std::u16string_view rest(roots.strings);
    while (!rest.empty() && rest.front() != u'\0' && drives_.size() < kMaxDrives) {
      const std::u16string_view root = rest.substr(0, rest.find(u'\0'));
      rest.remove_prefix(std::min(rest.size(), root.size() + 1));
      if (files.GetDriveTypeWide(root) != platform::kDriveFixed) continue;
      drives_.push_back(
          DriveEntry{std::u16string(root.substr(0, root.find(u'\\'))), platform::kDriveFixed});
    }
  }
  if (context.stopRequested()) return ScanResult::kStoppedByUser;

  context.statistics().ResetForFileScan();

  Walk walk(*this, context);
  for (const DriveEntry& drive : drives_) {
    walk.ScanDrive(drive);
    context.SetStatusText(u"");
    if (context.stopRequested()) break;
  }
  if (context.stopRequested()) {
    context.SetStatusText(u"");
    return ScanResult::kStoppedByUser;
  }
  if (walk.found()) return ScanResult::kMalwareFound;
  context.AppendText(scan::LoadText(systemContext_.system(), strings::kNoMalwareOnDrives));
  return ScanResult::kDone;
}

}  // namespace detect
