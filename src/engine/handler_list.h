// The handler list: every malware handler of a run, the built-in ones first,
// then one per script description whose signatures compile. It owns its
// handlers and destroys them in list order. Built while the scan engine is
// set up and only read afterwards.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "scan/malware_handler.h"

namespace engine {

class HandlerList {
 public:
  // Room for `capacity` handlers; Add beyond it still works (the capacity
  // only tells how many were planned).
  explicit HandlerList(std::size_t capacity = 0);
  ~HandlerList();
  HandlerList(HandlerList&&) noexcept;
  HandlerList& operator=(HandlerList&&) noexcept;
  HandlerList(const HandlerList&) = delete;
  HandlerList& operator=(const HandlerList&) = delete;

  void Add(std::unique_ptr<scan::MalwareHandler> handler);
  // Destroys every handler, in list order.
  void Clear();

  std::size_t count() const { return owned_.size(); }
  std::size_t capacity() const { return capacity_; }
  scan::MalwareHandler& operator[](std::size_t i) const { return *owned_[i]; }
  // The handlers in list order, as the signature index takes them.
  std::span<scan::MalwareHandler* const> handlers() const { return view_; }

 private:
  std::size_t capacity_ = 0;
  std::vector<std::unique_ptr<scan::MalwareHandler>> owned_;
  std::vector<scan::MalwareHandler*> view_;
};

// The malware list shown under "Removal Tool for:": one line per base name
// (compared exactly), "base.variant1/variant2/...", variants in list order,
// lines ordered by base name (UTF-16 code units, ordinal), separated by CR
// LF, without a final CR LF. Empty for an empty list. A handler with an
// empty variant name shows as its base name followed by a dot.
std::u16string MalwareListText(const HandlerList& list);

}  // namespace engine
