// The search of one file for FILE signatures by the file scanner's reading
// rules, shared by the file scanner and the memory scanner's check of main
// executables on disk. A file's first 4096 bytes are read at once (they hold
// the headers of most PE files); only PE files are read further and searched:
// each section's raw data in table order (a section over 40960 bytes only at
// its first and last 20480 bytes) and, when no section matched, 4096 bytes at
// the entry point. The DOS and PE headers and the section table are kept while
// the file is searched and handed to the match function; the table is
// withdrawn when the file is done.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "scan/pe_headers.h"
#include "scan/scan_context.h"

namespace detect {

class ExecutableSearch {
 public:
  // Files shorter than this are not searched.
  static constexpr std::uint64_t kMinimumFileSize = 312;
  // A region of up to this many bytes is read whole; of a longer one, the
  // first and the last kPieceSize bytes.
  static constexpr std::uint64_t kWholeRegionLimit = 40960;
  static constexpr std::uint64_t kPieceSize = 20480;
  // The first bytes of a file are read at once; headers that lie within
  // them need no further read.
  static constexpr std::size_t kHeadSize = 4096;
  // Bytes read at the entry point when no section matched.
  static constexpr std::uint64_t kEntryPointWindow = 4096;
  // Consecutive windows of one piece overlap by this many bytes.
  static constexpr std::size_t kWindowOverlap = 1024;

  // Called for the first match of a file, after the file was closed, with
  // the file's headers (valid during the call).
  using MatchFunction = std::function<void(const signatures::SignatureIndexEntry& entry,
                                           const scan::PeFileHeaders& headers)>;

  // Reads into `buffer` (more than kWindowOverlap bytes); the bytes read
  // count into the file scan's kilobytes of `context`.
  ExecutableSearch(scan::ScanContext& context, std::span<std::uint8_t> buffer);

  // Searches the file or stream at `path` (silently nothing when it cannot
  // be opened, is too short or is no PE file); true when it matched.
  // Stops early when the stop request is set.
  bool Search(const std::u16string& path, const MatchFunction& onMatch);

 private:
  bool Stopped() const { return context_.stopRequested(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);
  // Reads at `offset` of the file, moving the file pointer only when it is
  // elsewhere: the number of bytes read, or nothing when the call failed.
  std::optional<std::uint32_t> ReadFileAt(std::uint64_t offset, std::span<std::uint8_t> buffer);
  bool ReadHeaders(std::uint64_t size);
  bool SearchRegion(std::uint64_t start, std::uint64_t length);
  bool SearchPiece(std::uint64_t offset, std::uint64_t remaining);

  scan::ScanContext& context_;
  platform::System& system_;
  scan::PeFileHeaders headers_;
  std::span<std::uint8_t> buffer_;
  // The file being searched, and its first match.
  platform::Handle file_ = 0;
  const signatures::SignatureIndexEntry* match_ = nullptr;
  // Where the file pointer is, when known.
  std::optional<std::uint64_t> position_;
  // The file's first bytes (at most kHeadSize).
  std::array<std::uint8_t, kHeadSize> headBuffer_{};
  std::span<const std::uint8_t> head_;
};

}  // namespace detect
