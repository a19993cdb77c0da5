#include "detect/file_scanner.h"

#include <algorithm>
#include <array>
#include <span>

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

using codes::ScanResult;

// GetLogicalDriveStringsW gets a buffer of this many characters.
constexpr std::uint32_t kDriveStringsBuffer = 1023;
// A path, pattern or stream path that the system's MAX_PATH buffers would
// not hold (with the terminating zero) is passed over, never cut.
constexpr std::size_t kMaxPathLength = limits::kMaxPathChars - 1;
// The longest drive-not-found message.
constexpr std::size_t kMaxMessageLength = 800;
// Stream names longer than this (in bytes) are not names the system gives;
// the listing stops at such a header.
constexpr std::uint32_t kMaxStreamNameBytes = 65534;
// The suffix ":$DATA" that names the type of a data stream.
constexpr std::size_t kStreamTypeSuffixLength = 6;

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
                                          std::u16string_view path, bool* refused) {
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
  for (bool first = true;; first = false) {
    const auto got = read(file.get(), header, false, false, context);
    if (!got && first && refused != nullptr) *refused = true;
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
      const auto gotName = read(file.get(), nameBytes, false, false, context);
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

// One Run's walk over the drives: the scan context, the found flag and the
// drive being walked.
class FileScanner::Walk {
 public:
  Walk(FileScanner& scanner, scan::ScanContext& context)
      : scanner_(scanner),
        context_(context),
        system_(scanner.systemContext_.system()),
        statistics_(context.statistics()),
        search_(context, std::span<std::uint8_t>(scanner.buffer_.get(), kBufferSize)) {}

  bool found() const { return found_; }

  ScanResult ScanDrive(const DriveEntry& drive) {
    if (Stopped()) return ScanResult::kStoppedByUser;
    drive_ = drive.name;
    streamRefusalsInARow_ = 0;
    context_.AppendText(scan::LoadText(system_, strings::kScanningDrive));
    context_.AppendText(drive_);
    context_.AppendText(u" ...\r\n");
    // Floppy drives are not timed; their data counts in the kilobytes.
    const bool timed = !IsFloppy(drive_);
    const std::uint32_t start = system_.runtime().GetTickCount();
    const ScanResult walked = WalkDirectory(u"\\");
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
  bool Stopped() const { return context_.stopRequested(); }

  // Walks the directory `directory` of the drive ("\" for its root, else
  // "\name\name" without a trailing backslash), depth first.
  ScanResult WalkDirectory(const std::u16string& directory) {
    const std::u16string pattern = Join(drive_ + directory, u"*.*");
    if (Stopped()) return ScanResult::kStoppedByUser;
    if (pattern.size() > kMaxPathLength) return ScanResult::kInvalidFileHandle;
    platform::Files& files = system_.files();
    auto first = files.FindFirstFileWide(pattern);
    if (!first) return ScanResult::kInvalidFileHandle;
    ++statistics_.scannedDirectories;

    std::optional<platform::FindData> entry = std::move(first->data);
    for (; entry; entry = files.FindNextFileWide(first->search)) {
      if (entry->name == u"." || entry->name == u"..") continue;
      if (Stopped()) break;
      if ((entry->attributes & platform::kFileAttributeDirectory) != 0) {
        // Junctions and mount points are not followed: what they lead to is
        // scanned where it is, and a junction loop cannot trap the walk.
        if ((entry->attributes & platform::kFileAttributeReparsePoint) == 0) {
          WalkDirectory(Join(directory, entry->name));
        }
        continue;
      }
      ScanListedFile(Join(drive_ + directory, entry->name), *entry);
    }
    files.FindClose(first->search);
    return Stopped() ? ScanResult::kStoppedByUser : ScanResult::kDone;
  }

  void ScanListedFile(const std::u16string& path, const platform::FindData& entry) {
    if (path.size() > kMaxPathLength) return;
    const std::uint32_t now = system_.runtime().GetTickCount();
    if (now - scanner_.lastStatusTick_ >= kStatusInterval) {
      context_.SetStatusText(path);
      scanner_.lastStatusTick_ = now;
    }
    // The listing's size in its low 32 bits, as the listing's low part.
    if (static_cast<std::uint32_t>(entry.size) > kMinimumFileSize) {
      ++statistics_.scannedFiles;
      ScanFile(path);
    }
    if (!scanner_.streamReaderBound_ || streamRefusalsInARow_ >= kStreamRefusalsPerDrive) return;
    bool refused = false;
    const auto streams =
        ListNamedStreams(system_, scanner_.systemContext_.streamReader(), path, &refused);
    streamRefusalsInARow_ = refused ? streamRefusalsInARow_ + 1 : 0;
    for (const StreamEntry& stream : streams) {
      const std::u16string streamPath = path + stream.name;
      if (streamPath.size() > kMaxPathLength) continue;
      ScanFile(streamPath);
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
      ++statistics_.infectedFiles;
      scan::HandlerOf(entry).Remove(context_, scan::FileFinding{path, headers});
    });
  }

  FileScanner& scanner_;
  scan::ScanContext& context_;
  platform::System& system_;
  scan::ScanStatistics& statistics_;
  ExecutableSearch search_;
  std::u16string drive_;
  // Files of this drive whose stream listing was refused, since the last one
  // that was not.
  int streamRefusalsInARow_ = 0;
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
