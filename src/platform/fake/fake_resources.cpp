// The fake's resources: the string table and resource data of the program,
// and version resources of files: GetFileVersionInfoW hands out a block that
// names the file ("QRTV" and the path in UTF-16), and VerQueryValueW looks
// the value up in that file's FakeVersionResource.
#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

constexpr std::uint8_t kMagic[4] = {'Q', 'R', 'T', 'V'};

std::vector<std::uint8_t> BlockFor(std::u16string_view path) {
  std::vector<std::uint8_t> block(std::begin(kMagic), std::end(kMagic));
  text::AppendUtf16Le(block, path);
  block.push_back(0);
  block.push_back(0);
  return block;
}

std::u16string PathOf(const std::vector<std::uint8_t>& block) {
  std::u16string path;
  if (block.size() < 4 || !std::equal(std::begin(kMagic), std::end(kMagic), block.begin())) {
    return path;
  }
  for (std::size_t i = 4; i + 1 < block.size(); i += 2) {
    const auto c = static_cast<char16_t>(block[i] | (block[i + 1] << 8));
    if (c == 0) break;
    path.push_back(c);
  }
  return path;
}

template <typename Map>
const typename Map::mapped_type* FindNoCase(const Map& map, std::u16string_view name) {
  for (const auto& [key, value] : map) {
    if (text::EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
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
  if (FindNoCase(system_.versionResources, path) == nullptr) return 0;
  return static_cast<std::uint32_t>(BlockFor(path).size());
}

std::optional<std::vector<std::uint8_t>> FakeResourcesArea::GetFileVersionInfoWide(
    std::u16string_view path, std::uint32_t size) {
  const FakeVersionResource* resource = FindNoCase(system_.versionResources, path);
  std::vector<std::uint8_t> block = BlockFor(path);
  if (resource == nullptr || resource->readFails || size < block.size()) return std::nullopt;
  block.resize(size);
  return block;
}

std::optional<std::vector<std::uint8_t>> FakeResourcesArea::VerQueryValueBytes(
    const std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
  const FakeVersionResource* resource = FindNoCase(system_.versionResources, PathOf(block));
  if (resource == nullptr) return std::nullopt;
  const auto* value = FindNoCase(resource->binaryValues, subBlock);
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::optional<std::u16string> FakeResourcesArea::VerQueryValueText(
    const std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
  const FakeVersionResource* resource = FindNoCase(system_.versionResources, PathOf(block));
  if (resource == nullptr) return std::nullopt;
  const auto* value = FindNoCase(resource->textValues, subBlock);
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::uint16_t FakeResourcesArea::GetUserDefaultLangID() { return system_.userDefaultLanguage; }

}  // namespace platform::fake
