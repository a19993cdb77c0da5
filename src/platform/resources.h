// The program's resources (string table, resource data), the version
// resources of files (VERSION.DLL) and the user's default language.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Resources {
 public:
  virtual ~Resources() = default;

  // LoadStringW of the program's string table; nothing when the string is
  // missing or empty.
  virtual std::optional<std::u16string> LoadStringResource(std::uint32_t id) = 0;

  // FindResourceW, LoadResource and LockResource on the program's module:
  // the resource's bytes, or nothing when it is missing or cannot be loaded.
  // `name` is a resource name such as u"#161".
  virtual std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                                    std::u16string_view name) = 0;

  // --- Version resources of files (VERSION.DLL) ---

  // GetFileVersionInfoSizeW: the size of the file's version information, 0
  // when it has none or it cannot be read.
  virtual std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) = 0;
  // GetFileVersionInfoW into a buffer of `size` bytes: the block, or nothing
  // when the call fails.
  virtual std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                          std::uint32_t size) = 0;
  // VerQueryValueW for a binary value such as "\VarFileInfo\Translation":
  // its bytes, as many as the call reports, or nothing when it is missing.
  virtual std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) = 0;
  // VerQueryValueW for a text value: the text up to its terminating zero
  // (within the length the call reports), or nothing when it is missing.
  virtual std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                          std::u16string_view subBlock) = 0;
  // GetUserDefaultLangID.
  virtual std::uint16_t GetUserDefaultLangID() = 0;
};

}  // namespace platform
