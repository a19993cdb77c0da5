#include "platform/resource_formats.h"

#include <algorithm>

namespace platform {
namespace {

std::uint16_t ReadUnit(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A node of a version block, as offsets from the block's start.
struct VersionNode {
  std::size_t keyOffset;
  std::size_t keyLength;  // UTF-16 units
  std::size_t value;
  std::uint16_t valueLength;
  std::size_t children;
  std::size_t end;
};

constexpr std::size_t AlignUp(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// The node at `at`, which must lie before `limit`; nullopt when it is cut
// short: its header, a key without its zero, or a value past its end.
std::optional<VersionNode> ReadVersionNode(std::span<const std::uint8_t> block, std::size_t at,
                                           std::size_t limit) {
  if (at > limit || limit - at < 6) return std::nullopt;
  const std::uint16_t length = ReadUnit(block, at);
  const std::uint16_t valueLength = ReadUnit(block, at + 2);
  const std::uint16_t type = ReadUnit(block, at + 4);
  if (length < 6 || length > limit - at) return std::nullopt;
  const std::size_t end = at + length;
  const std::size_t keyOffset = at + 6;
  const std::size_t keyRoom = (end - keyOffset) / 2;
  std::size_t keyLength = 0;
  while (keyLength < keyRoom && ReadUnit(block, keyOffset + 2 * keyLength) != 0) ++keyLength;
  if (keyLength == keyRoom) return std::nullopt;
  const std::size_t value = AlignUp(keyOffset + 2 * (keyLength + 1));
  const std::size_t valueBytes = type == 1 ? std::size_t{valueLength} * 2 : valueLength;
  if (value > end || valueBytes > end - value) return std::nullopt;
  const std::size_t children = std::min(AlignUp(value + valueBytes), end);
  return VersionNode{keyOffset, keyLength, value, valueLength, children, end};
}

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Whether the node's key is `key`, exactly or without regard to ASCII case.
bool KeyIs(std::span<const std::uint8_t> block, const VersionNode& node, std::u16string_view key,
           bool ignoreCase) {
  if (node.keyLength != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const auto unit = static_cast<char16_t>(ReadUnit(block, node.keyOffset + 2 * i));
    if (ignoreCase ? LowerAscii(unit) != LowerAscii(key[i]) : unit != key[i]) return false;
  }
  return true;
}

// The child of `node` named `key`.
std::optional<VersionNode> FindChild(std::span<const std::uint8_t> block, const VersionNode& node,
                                     std::u16string_view key) {
  for (std::size_t at = node.children; at < node.end;) {
    const auto child = ReadVersionNode(block, at, node.end);
    if (!child) return std::nullopt;
    if (KeyIs(block, *child, key, true)) return child;
    at = AlignUp(child->end);
  }
  return std::nullopt;
}

}  // namespace

std::optional<TextPlace> FindStringInBlock(std::span<const std::uint8_t> block, std::uint32_t id) {
  const std::size_t units = block.size() / 2;
  std::size_t at = 0;  // in units
  for (std::uint32_t i = 0; i < (id & 15); ++i) {
    if (at >= units) return std::nullopt;
    at += 1 + ReadUnit(block, 2 * at);
  }
  if (at >= units) return std::nullopt;
  const std::size_t length = ReadUnit(block, 2 * at);
  if (length > units - at - 1) return std::nullopt;
  return TextPlace{2 * (at + 1), length};
}

VersionQueryResult QueryVersionBlock(std::span<const std::uint8_t> block,
                                     std::u16string_view path) {
  static constexpr std::u16string_view kRootKey = u"VS_VERSION_INFO";
  auto node = ReadVersionNode(block, 0, block.size());
  if (!node || !KeyIs(block, *node, kRootKey, false)) return {VersionQueryStatus::kInvalidBlock};
  while (true) {
    const std::size_t skip = path.find_first_not_of(u'\\');
    if (skip == std::u16string_view::npos) break;
    path.remove_prefix(skip);
    const std::u16string_view key = path.substr(0, path.find(u'\\'));
    path.remove_prefix(key.size());
    node = FindChild(block, *node, key);
    if (!node) return {VersionQueryStatus::kNotFound};
  }
  return {VersionQueryStatus::kFound, node->value, node->valueLength};
}

}  // namespace platform
