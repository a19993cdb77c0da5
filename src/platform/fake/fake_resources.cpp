// The fake's resources: the string table and resource data of the program,
// and version resources of files. GetFileVersionInfoW hands out the file's
// FakeVersionResource as the VS_VERSIONINFO block the resource compiler
// makes (every node: wLength, wValueLength, wType, its key in UTF-16 with a
// zero, the value and the children, each aligned to 4 bytes; the root
// "VS_VERSION_INFO" with the fixed file information as its value), and
// VerQueryValueW looks values up in that block with the reader the Win32
// backend uses on Windows 9x/ME (platform/resource_formats.h).
#include <algorithm>

#include "common/bytes.h"
#include "common/text.h"
#include "platform/fake/fake_system.h"
#include "platform/resource_formats.h"

namespace platform::fake {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutWord(Bytes& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
  out.push_back(static_cast<std::uint8_t>(word >> 8));
}

void PutDword(Bytes& out, std::uint32_t dword) {
  PutWord(out, static_cast<std::uint16_t>(dword & 0xFFFF));
  PutWord(out, static_cast<std::uint16_t>(dword >> 16));
}

void PadTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One node of the version tree before it is laid out.
struct VersionNode {
  std::u16string key;
  bool text = true;               // wType 1 (a text value, or none) or 0 (bytes)
  Bytes value;                    // laid out as it is stored
  std::uint16_t valueLength = 0;  // wValueLength: bytes, or UTF-16 units of a text
  std::vector<VersionNode> children;
};

// The child of `node` named `key` (without regard to case), added when
// missing.
VersionNode& ChildOf(VersionNode& node, std::u16string_view key) {
  for (VersionNode& child : node.children) {
    if (text::EqualsNoCase(child.key, key)) return child;
  }
  VersionNode& child = node.children.emplace_back();
  child.key = std::u16string(key);
  return child;
}

// The node at sub-block `path` ("\A\B"), made with every node on the way.
VersionNode& NodeAt(VersionNode& root, std::u16string_view path) {
  VersionNode* node = &root;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    if (end > start) node = &ChildOf(*node, path.substr(start, end - start));
    start = end + 1;
  }
  return *node;
}

// Appends `node` laid out at an offset aligned to 4 (the block's nodes all
// start so); its wLength leaves out the padding after it.
void LayOut(const VersionNode& node, Bytes& out) {
  PadTo4(out);
  const std::size_t start = out.size();
  PutWord(out, 0);  // wLength, set below
  PutWord(out, node.valueLength);
  PutWord(out, node.text ? 1 : 0);
  text::AppendUtf16Le(out, node.key);
  PutWord(out, 0);
  PadTo4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) LayOut(child, out);
  bytes::PutLittleEndian(out, start, out.size() - start, 2);
}

// The VS_VERSIONINFO block of `resource`.
Bytes VersionBlock(const FakeVersionResource& resource) {
  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.text = false;
  // VS_FIXEDFILEINFO: signature, structure version, file and product
  // versions, flags mask and flags, VOS_NT_WINDOWS32, VFT_APP, subtype and
  // date.
  for (const std::uint32_t field :
       {0xFEEF04BDu, 0x00010000u, resource.fileVersionHigh, resource.fileVersionLow,
        resource.fileVersionHigh, resource.fileVersionLow, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u,
        0u}) {
    PutDword(root.value, field);
  }
  root.valueLength = static_cast<std::uint16_t>(root.value.size());
  for (const auto& [path, bytes] : resource.binaryValues) {
    VersionNode& node = NodeAt(root, path);
    node.text = false;
    node.value = bytes;
    node.valueLength = static_cast<std::uint16_t>(bytes.size());
  }
  for (const auto& [path, value] : resource.textValues) {
    VersionNode& node = NodeAt(root, path);
    node.value.clear();
    text::AppendUtf16Le(node.value, value);
    PutWord(node.value, 0);
    node.valueLength = static_cast<std::uint16_t>(value.size() + 1);
  }
  Bytes block;
  LayOut(root, block);
  return block;
}

template <typename Map>
const typename Map::mapped_type* FindNoCase(const Map& map, std::u16string_view name) {
  for (const auto& [key, value] : map) {
    if (text::EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
}

// The value at `subBlock` in `block` as VerQueryValueW reports it: its
// offset and wValueLength, and the bytes from it to the block's end.
struct FoundValue {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::size_t room = 0;
};

std::optional<FoundValue> QueryValue(const Bytes& block, std::u16string_view subBlock) {
  if (block.size() < 2) return std::nullopt;
  const std::size_t rootLength =
      std::min<std::size_t>(bytes::LittleEndian16(block, 0), block.size());
  const VersionQueryResult found = QueryVersionBlock(std::span(block.data(), rootLength), subBlock);
  if (found.status != VersionQueryStatus::kFound) return std::nullopt;
  return FoundValue{found.offset, found.valueLength, block.size() - found.offset};
}

}  // namespace

std::optional<std::u16string> FakeResourcesArea::LoadStringResource(std::uint32_t id) {
  const auto it = system_.strings.find(id);
  if (it == system_.strings.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

std::optional<std::vector<std::uint8_t>> FakeResourcesArea::LoadResourceData(
    std::u16string_view type, std::u16string_view name) {
  const auto it = system_.resourceData.find({std::u16string(type), std::u16string(name)});
  if (it == system_.resourceData.end()) return std::nullopt;
  return it->second;
}

std::uint32_t FakeResourcesArea::GetFileVersionInfoSizeWide(std::u16string_view path) {
  const FakeVersionResource* resource = FindNoCase(system_.versionResources, path);
  if (resource == nullptr) return 0;
  return static_cast<std::uint32_t>(VersionBlock(*resource).size());
}

// A buffer smaller than the block gets the block cut at its size, as
// GetFileVersionInfoW does ("If the buffer pointed to by lpData is not large
// enough, the function truncates the file's version information to the
// size of the buffer", its documentation in the Platform SDK).
std::optional<std::vector<std::uint8_t>> FakeResourcesArea::GetFileVersionInfoWide(
    std::u16string_view path, std::uint32_t size) {
  const FakeVersionResource* resource = FindNoCase(system_.versionResources, path);
  if (resource == nullptr || resource->readFails || size == 0) return std::nullopt;
  Bytes block = VersionBlock(*resource);
  block.resize(size);
  return block;
}

std::optional<std::vector<std::uint8_t>> FakeResourcesArea::VerQueryValueBytes(
    const std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
  const auto found = QueryValue(block, subBlock);
  if (!found) return std::nullopt;
  const auto begin = block.begin() + static_cast<std::ptrdiff_t>(found->offset);
  return Bytes(begin, begin + static_cast<std::ptrdiff_t>(std::min(found->length, found->room)));
}

std::optional<std::u16string> FakeResourcesArea::VerQueryValueText(
    const std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
  const auto found = QueryValue(block, subBlock);
  if (!found) return std::nullopt;
  // The length counts characters, the terminating zero included.
  const std::size_t units = std::min(found->length, found->room / 2);
  return bytes::Utf16LeUntilZero(std::span(block).subspan(found->offset, 2 * units));
}

std::uint16_t FakeResourcesArea::GetUserDefaultLangID() { return system_.userDefaultLanguage; }

}  // namespace platform::fake
