// The files that RemoveFile has gone on to delete in this run, so that a
// file is deleted or scheduled at most once: a table of
// limits::kHandledFiles entries, filled from the first. When all are used,
// each further path takes the place of entry 0, so the path that was there
// may be handled again.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/limits.h"

namespace removal {

class HandledFiles {
 public:
  // Whether `path` is in the table (compared without regard to case).
  bool Contains(std::u16string_view path) const;
  // Stores `path` in the first empty entry, or in entry 0 when all are used.
  // An empty path is not stored.
  void Add(std::u16string_view path);

 private:
  std::array<std::u16string, limits::kHandledFiles> entries_;
  std::size_t used_ = 0;
};

}  // namespace removal
