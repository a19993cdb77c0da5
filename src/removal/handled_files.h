// The files that RemoveFile has gone on to delete in this run, so that a
// file is deleted or scheduled at most once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace removal {

class HandledFiles {
 public:
  // Whether `path` was handled already (compared without regard to case).
  bool Contains(std::u16string_view path) const;
  // Notes `path` as handled.
  void Add(std::u16string_view path);

 private:
  std::vector<std::u16string> paths_;
};

}  // namespace removal
