#include "detect/executable_search.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/scoped_handle.h"
#include "signatures/signature_index.h"

namespace detect {

ExecutableSearch::ExecutableSearch(scan::ScanContext& context, std::span<std::uint8_t> buffer)
    : context_(context), system_(context.systemContext().system()), buffer_(buffer) {}

bool ExecutableSearch::Search(const std::u16string& path, const MatchFunction& onMatch) {
  if (Stopped()) return false;
  platform::Files& files = system_.files();
  const platform::FileOpenResult opened = files.CreateFileWide(
      path, platform::kGenericRead, platform::kFileShareRead | platform::kFileShareWrite,
      platform::kOpenExisting, platform::kFileAttributeNormal);
  if (opened.handle == 0) return false;
  platform::ScopedHandle file(system_.runtime(), opened.handle);
  file_ = opened.handle;
  match_ = nullptr;
  position_ = 0;
  head_ = {};

  const auto size = files.GetFileSize(file_);
  if (size && *size >= kMinimumFileSize) {
    const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(*size, kHeadSize));
    if (const auto got = ReadFileAt(0, std::span(headBuffer_).first(headSize))) {
      head_ = std::span(headBuffer_).first(*got);
    }
  }
  if (size && *size >= kMinimumFileSize && ReadHeaders(*size)) {
    bool matched = false;
    for (const scan::SectionHeader& section : headers_.sections) {
      if (section.SizeOfRawData() == 0) continue;
      if (Stopped()) break;
      matched = SearchRegion(section.PointerToRawData(), section.SizeOfRawData());
      if (matched || Stopped()) break;
    }
    if (!matched) {
      SearchRegion(scan::EntryPointFileOffset(headers_.AddressOfEntryPoint(), headers_.sections),
                   kEntryPointWindow);
    }
  }
  file_ = 0;
  if (match_ != nullptr) {
    file.Close();
    onMatch(*match_, headers_);
  }
  headers_.sections.clear();
  headers_.sections.shrink_to_fit();
  return match_ != nullptr;
}

// Header bytes come from the file's first bytes where they lie within them.
bool ExecutableSearch::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset <= head_.size() && buffer.size() <= head_.size() - offset) {
    std::copy_n(head_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
    return true;
  }
  const auto got = ReadFileAt(offset, buffer);
  return got && *got == buffer.size();
}

std::optional<std::uint32_t> ExecutableSearch::ReadFileAt(std::uint64_t offset,
                                                          std::span<std::uint8_t> buffer) {
  platform::Files& files = system_.files();
  if (position_ != offset) {
    position_.reset();
    const auto at =
        files.SetFilePointer(file_, static_cast<std::int64_t>(offset), platform::kFileBegin);
    if (!at || *at != offset) return std::nullopt;
  }
  const auto got = files.ReadFile(file_, buffer);
  if (got) {
    position_ = offset + *got;
  } else {
    position_.reset();
  }
  return got;
}

// Checks the "MZ" and "PE\0\0" marks, reads the DOS and PE headers and the
// section table after them; false (and no table) when
// the file is no PE file or its headers are not all there.
bool ExecutableSearch::ReadHeaders(std::uint64_t size) {
  std::array<std::uint8_t, 2> mark{};
  if (!ReadAt(0, mark) || mark[0] != 'M' || mark[1] != 'Z') return false;
  if (!ReadAt(0, headers_.dosHeader)) return false;
  if (!ReadAt(headers_.PeHeaderOffset(), headers_.peHeaders)) return false;
  const auto& pe = headers_.peHeaders;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
  const std::size_t count = headers_.NumberOfSections();
  if (count == 0) return false;
  // The table is read where the file header says it is. A table that the
  // file does not hold is not allocated.
  const std::uint64_t tableOffset = headers_.SectionTableOffset();
  const std::uint64_t tableSize = count * scan::kSectionHeaderSize;
  if (tableOffset > size || tableSize > size - tableOffset) return false;
  std::vector<std::uint8_t> table(static_cast<std::size_t>(tableSize));
  if (!ReadAt(tableOffset, table)) return false;
  headers_.sections.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(i * scan::kSectionHeaderSize),
                scan::kSectionHeaderSize, headers_.sections[i].bytes.begin());
  }
  return true;
}

// Searches the region of `length` bytes at `start`: whole up to 40960 bytes,
// else its first and last 20480 bytes. True when it matched.
bool ExecutableSearch::SearchRegion(std::uint64_t start, std::uint64_t length) {
  struct Piece {
    std::uint64_t start;
    std::uint64_t length;
  };
  std::array<Piece, 2> pieces{Piece{start, length}, Piece{}};
  std::size_t pieceCount = 1;
  if (length > kWholeRegionLimit) {
    pieces = {Piece{start, kPieceSize}, Piece{start + length - kPieceSize, kPieceSize}};
    pieceCount = 2;
  }
  for (std::size_t i = 0; i < pieceCount; ++i) {
    if (Stopped()) return false;
    if (SearchPiece(pieces[i].start, pieces[i].length)) return true;
  }
  return false;
}

bool ExecutableSearch::SearchPiece(std::uint64_t offset, std::uint64_t remaining) {
  const std::uint64_t step = buffer_.size() - kWindowOverlap;
  for (;;) {
    if (Stopped()) return false;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer_.size()));
    // A section that runs past the end of the file is read as far as it goes.
    const auto got = ReadFileAt(offset, buffer_.first(want));
    if (!got) return false;
    context_.statistics().fileScanKilobytes += *got / 1024;
    std::size_t signatureOffset = 0;
    match_ = signatures::FindFileSignature(context_.signatureIndex(), buffer_.first(*got),
                                           signatureOffset);
    if (match_ != nullptr) return true;
    if (remaining <= step) return false;
    offset += step;
    remaining -= step;
  }
}

}  // namespace detect
