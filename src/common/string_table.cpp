#include "common/string_table.h"

#include <algorithm>
#include <array>

namespace strings {
namespace {

// `u"" text` makes each narrow literal of the table a UTF-16 literal.
#define QRT_STRING(id, name, text) Entry{id, u"" text},
constexpr Entry kEntries[] = {
#include "strings.def"
};
#undef QRT_STRING

constexpr bool SortedAndUnique() {
  for (std::size_t i = 1; i < std::size(kEntries); ++i) {
    if (kEntries[i - 1].id >= kEntries[i].id) return false;
  }
  return true;
}
static_assert(SortedAndUnique(), "strings.def must be sorted by number without repeats");

}  // namespace

std::span<const Entry> Table() { return kEntries; }

std::optional<std::u16string_view> Find(std::uint32_t id) {
  const auto it =
      std::lower_bound(std::begin(kEntries), std::end(kEntries), id,
                       [](const Entry& e, std::uint32_t value) { return e.id < value; });
  if (it == std::end(kEntries) || it->id != id) return std::nullopt;
  return it->text;
}

}  // namespace strings
