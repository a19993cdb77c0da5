#include "system/own_psapi.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/limits.h"
#include "common/text.h"
#include "platform/scoped_handle.h"

namespace sys {
namespace {

constexpr char16_t kPsapiFileName[] = u"PSAPI.DLL";

// Reads the whole file through `file` and compares it with `image`.
bool HoldsImage(platform::Files& files, platform::Handle file,
                std::span<const std::uint8_t> image) {
  const auto size = files.GetFileSize(file);
  if (!size || *size != image.size()) return false;
  std::vector<std::uint8_t> bytes(image.size());
  std::size_t got = 0;
  while (got < bytes.size()) {
    const auto read = files.ReadFile(file, std::span(bytes).subspan(got));
    if (!read || *read == 0) return false;
    got += *read;
  }
  return std::equal(bytes.begin(), bytes.end(), image.begin(), image.end());
}

// Makes a folder of the program's own under `temp`: answers its path, or
// nothing when none could be made. A name that is taken is skipped.
std::optional<std::u16string> MakeOwnFolder(platform::System& system, std::u16string temp) {
  if (temp.empty()) return std::nullopt;
  if (temp.back() != u'\\') temp.push_back(u'\\');
  const std::uint32_t start = system.runtime().GetTickCount();
  for (int attempt = 0; attempt < kPsapiFolderAttempts; ++attempt) {
    const std::u16string folder =
        temp + text::Format(u"QRT%05X", {static_cast<unsigned>((start + attempt) & 0xFFFFF)});
    // The file's path with its terminating zero must fit.
    if (folder.size() + 1 + std::size(kPsapiFileName) > limits::kMaxPathChars) return std::nullopt;
    const std::uint32_t error = system.files().CreateDirectoryWide(folder);
    if (error == 0) return folder;
    if (error != platform::kErrorAlreadyExists) return std::nullopt;
  }
  return std::nullopt;
}

// Writes `image` as a new file at `path`: whether all of it was written.
bool WriteNewFile(platform::System& system, const std::u16string& path,
                  std::span<const std::uint8_t> image) {
  const platform::FileOpenResult file = system.files().CreateFileWide(
      path, platform::kGenericWrite, 0, platform::kCreateNew, platform::kFileAttributeNormal);
  if (file.handle == 0) return false;
  platform::ScopedHandle closing(system.runtime(), file.handle);
  const auto written = system.files().WriteFile(file.handle, image);
  return written && *written == image.size();
}

}  // namespace

OwnPsapi LoadOwnPsapi(platform::System& system, std::span<const std::uint8_t> image) {
  const auto temp = system.folders().TempPath();
  if (!temp) return {};
  const auto folder = MakeOwnFolder(system, *temp);
  if (!folder) return {};
  const std::u16string path = *folder + u"\\" + kPsapiFileName;

  platform::Handle library = 0;
  if (WriteNewFile(system, path, image)) {
    const platform::FileOpenResult held =
        system.files().CreateFileWide(path, platform::kGenericRead, platform::kFileShareRead,
                                      platform::kOpenExisting, platform::kFileAttributeNormal);
    if (held.handle != 0) {
      platform::ScopedHandle closing(system.runtime(), held.handle);
      if (HoldsImage(system.files(), held.handle, image)) {
        library = system.runtime().LoadLibraryWide(path);
      }
    }
  }
  if (library == 0) {
    RemoveOwnPsapi(system, path);
    return {};
  }
  return OwnPsapi{library, path};
}

void RemoveOwnPsapi(platform::System& system, const std::u16string& path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == std::u16string::npos) return;
  system.files().DeleteFileWide(path);
  system.files().RemoveDirectoryWide(path.substr(0, slash));
}

}  // namespace sys
