#include "engine/handler_list.h"

#include <algorithm>
#include <utility>

namespace engine {

HandlerList::HandlerList(std::size_t capacity) : capacity_(capacity) {
  owned_.reserve(capacity);
  view_.reserve(capacity);
}

HandlerList::~HandlerList() { Clear(); }

HandlerList::HandlerList(HandlerList&& other) noexcept
    : capacity_(other.capacity_), owned_(std::move(other.owned_)), view_(std::move(other.view_)) {
  other.capacity_ = 0;
  other.owned_.clear();
  other.view_.clear();
}

HandlerList& HandlerList::operator=(HandlerList&& other) noexcept {
  if (this != &other) {
    Clear();
    capacity_ = std::exchange(other.capacity_, 0);
    owned_ = std::move(other.owned_);
    view_ = std::move(other.view_);
    other.owned_.clear();
    other.view_.clear();
  }
  return *this;
}

void HandlerList::Add(std::unique_ptr<scan::MalwareHandler> handler) {
  view_.push_back(handler.get());
  owned_.push_back(std::move(handler));
}

void HandlerList::Clear() {
  view_.clear();
  for (std::unique_ptr<scan::MalwareHandler>& handler : owned_) handler.reset();
  owned_.clear();
}

std::u16string MalwareListText(const HandlerList& list) {
  // Groups in the order their base names first appear.
  std::vector<std::pair<std::u16string_view, std::u16string>> groups;
  for (const scan::MalwareHandler* handler : list.handlers()) {
    const std::u16string_view base = handler->BaseName();
    const auto group =
        std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == base; });
    if (group == groups.end()) {
      groups.emplace_back(base, std::u16string(handler->VariantName()));
    } else {
      group->second.append(u"/").append(handler->VariantName());
    }
  }
  // Base names are unique, so the order is total.
  std::sort(groups.begin(), groups.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::u16string text;
  for (const auto& [base, variants] : groups) {
    text.append(base).append(u".").append(variants).append(u"\r\n");
  }
  if (text.size() > 2) text.resize(text.size() - 2);
  return text;
}

}  // namespace engine
