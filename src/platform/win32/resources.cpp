// The Win32 resources: the program's string table and resource data, the
// version resources of files and the user's default language.
#include <algorithm>

#include "platform/win32/areas.h"
#include "platform/win32/text_api.h"

namespace platform::win32 {
namespace {

class Win32Resources final : public Resources {
 public:
  explicit Win32Resources(HINSTANCE module) : module_(module) {}

  // Read from the string table block itself on every system (no pointer
  // into the resource from a zero-size buffer, which only the NT family
  // gives); an empty string counts as missing.
  std::optional<std::u16string> LoadStringResource(std::uint32_t id) override {
    auto text = api::LoadStringText(module_, id);
    if (!text || text->empty()) return std::nullopt;
    return text;
  }

  std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                            std::u16string_view name) override {
    const std::u16string typeText(type);
    const std::u16string nameText(name);
    HRSRC info = ::FindResourceW(module_, Wide(nameText), Wide(typeText));
    if (info == nullptr) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module_, info);
    if (loaded == nullptr) return std::nullopt;
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (data == nullptr) return std::nullopt;
    return std::vector<std::uint8_t>(data, data + ::SizeofResource(module_, info));
  }

  // --- Version resources of files ---

  std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) override {
    const std::u16string p(path);
    DWORD ignored = 0;
    return api::GetFileVersionInfoSizeW(Wide(p), &ignored);
  }

  std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                  std::uint32_t size) override {
    const std::u16string p(path);
    std::vector<std::uint8_t> block(size);
    if (size == 0 || !api::GetFileVersionInfoW(Wide(p), 0, size, block.data())) return std::nullopt;
    return block;
  }

  std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) override {
    std::vector<std::uint8_t> copy(block);
    const auto value = QueryValue(copy, subBlock);
    if (!value) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(value->first);
    return std::vector<std::uint8_t>(bytes,
                                     bytes + std::min(value->second.size, value->second.room));
  }

  std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                  std::u16string_view subBlock) override {
    std::vector<std::uint8_t> copy(block);
    const auto value = QueryValue(copy, subBlock);
    if (!value) return std::nullopt;
    // The length counts characters, the terminating zero included.
    const auto* chars = static_cast<const char16_t*>(value->first);
    std::u16string_view text(chars, std::min(value->second.size, value->second.room / 2));
    return std::u16string(text.substr(0, text.find(u'\0')));
  }

  std::uint16_t GetUserDefaultLangID() override { return ::GetUserDefaultLangID(); }

 private:
  struct ValueLength {
    std::size_t size;  // as VerQueryValueW reports it
    std::size_t room;  // bytes from the value to the end of the block
  };

  // VerQueryValueW on `block`: the value's address inside it and its length.
  // A length that would reach past the block is cut at its end.
  static std::optional<std::pair<const void*, ValueLength>> QueryValue(
      std::vector<std::uint8_t>& block, std::u16string_view subBlock) {
    const std::u16string sub(subBlock);
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() || !api::VerQueryValueW(block.data(), Wide(sub), &value, &length) ||
        value == nullptr) {
      return std::nullopt;
    }
    const auto* at = static_cast<const std::uint8_t*>(value);
    const std::uint8_t* end = block.data() + block.size();
    if (at < block.data() || at > end) return std::nullopt;
    const auto room = static_cast<std::size_t>(end - at);
    return std::make_pair(static_cast<const void*>(value), ValueLength{length, room});
  }

  HINSTANCE module_;
};

}  // namespace

std::unique_ptr<Resources> MakeResources(HINSTANCE module) {
  return std::make_unique<Win32Resources>(module);
}

}  // namespace platform::win32
