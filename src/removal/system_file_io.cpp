#include "removal/system_file_io.h"

#include <array>
#include <cstdint>
#include <span>

#include "common/limits.h"
#include "common/text.h"
#include "platform/scoped_handle.h"

namespace removal {
namespace {

// How many "~qrtNNNN.tmp" names are tried in a folder.
constexpr int kScratchNames = 100;

std::u16string ScratchName(std::u16string_view folder, int number) {
  return std::u16string(folder) + text::Format(u"~qrt%04d.tmp", {number});
}

// The folder part of `path` with its final backslash; empty when there is
// none.
std::u16string_view FolderOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1);
}

// A new, empty scratch file in `folder`, open for writing.
struct ScratchFile {
  std::u16string path;
  platform::Handle handle = 0;
};
std::optional<ScratchFile> CreateScratchFile(platform::Files& files, std::u16string_view folder) {
  for (int number = 0; number < kScratchNames; ++number) {
    ScratchFile scratch{ScratchName(folder, number), 0};
    const platform::FileOpenResult opened =
        files.CreateFileWide(scratch.path, platform::kGenericWrite, 0, platform::kCreateNew,
                             platform::kFileAttributeNormal);
    if (opened.handle != 0) {
      scratch.handle = opened.handle;
      return scratch;
    }
    if (opened.lastError != platform::kErrorFileExists &&
        opened.lastError != platform::kErrorAlreadyExists) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// A scratch name in `folder` that no file has.
std::optional<std::u16string> FreeScratchName(platform::Files& files, std::u16string_view folder) {
  for (int number = 0; number < kScratchNames; ++number) {
    std::u16string path = ScratchName(folder, number);
    if (!files.GetFileAttributesWide(path)) return path;
  }
  return std::nullopt;
}

bool WriteAll(platform::Files& files, platform::Handle file, std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto written = files.WriteFile(file, std::span(data + done, bytes.size() - done));
    if (!written || *written == 0) return false;
    done += *written;
  }
  return true;
}

// Windows 9x/ME: the old file aside, the new one in its place, the old one
// deleted; the old file goes back when the new one cannot take its place.
bool SwapIn(platform::Files& files, std::u16string_view folder, std::u16string_view scratch,
            std::u16string_view path) {
  const auto aside = FreeScratchName(files, folder);
  if (!aside || !files.MoveFileWide(path, *aside).moved) return false;
  if (!files.MoveFileWide(scratch, path).moved) {
    files.MoveFileWide(*aside, path);
    return false;
  }
  files.DeleteFileWide(*aside);
  return true;
}

}  // namespace

std::optional<std::u16string> PathInFolder(const std::optional<std::u16string>& folder,
                                           std::u16string_view name) {
  if (!folder || folder->empty() || folder->size() > limits::kMaxFolderPath) return std::nullopt;
  std::u16string path = *folder;
  if (path.back() != u'\\') path += u'\\';
  return path.append(name);
}

WholeFile ReadWholeFile(platform::System& system, std::u16string_view path) {
  WholeFile file;
  const platform::FileOpenResult opened = system.files().CreateFileWide(
      path, platform::kGenericRead, platform::kFileShareRead | platform::kFileShareWrite,
      platform::kOpenExisting, 0);
  if (opened.handle == 0) {
    const bool missing = opened.lastError == platform::kErrorFileNotFound ||
                         opened.lastError == platform::kErrorPathNotFound;
    file.status = missing ? WholeFile::Status::kMissing : WholeFile::Status::kUnreadable;
    return file;
  }
  const platform::ScopedHandle handle(system.runtime(), opened.handle);
  std::array<std::uint8_t, 64 * 1024> chunk{};
  for (;;) {
    const auto read = system.files().ReadFile(handle.get(), chunk);
    if (!read) return file;
    if (*read == 0) break;
    if (file.bytes.size() + *read > limits::kMaxSystemTextFileBytes) {
      file.bytes.clear();
      return file;
    }
    file.bytes.append(reinterpret_cast<const char*>(chunk.data()), *read);
  }
  file.status = WholeFile::Status::kRead;
  return file;
}

bool ReplaceWholeFile(platform::System& system, bool windows9x, std::u16string_view path,
                      std::string_view bytes) {
  platform::Files& files = system.files();
  const std::u16string_view folder = FolderOf(path);
  if (folder.empty()) return false;
  const auto oldAttributes = files.GetFileAttributesWide(path);
  if (oldAttributes && (*oldAttributes & (platform::kFileAttributeReadOnly |
                                          platform::kFileAttributeDirectory)) != 0) {
    return false;
  }

  const auto scratch = CreateScratchFile(files, folder);
  if (!scratch) return false;
  const bool written = WriteAll(files, scratch->handle, bytes);
  const bool closed = system.runtime().CloseHandle(scratch->handle);
  bool placed = false;
  if (written && closed) {
    if (!oldAttributes) {
      placed = files.MoveFileWide(scratch->path, path).moved;
    } else if (!windows9x) {
      placed = files.MoveFileExWide(scratch->path, path, platform::kMoveFileReplaceExisting);
    } else {
      placed = SwapIn(files, folder, scratch->path, path);
    }
  }
  if (!placed) {
    files.DeleteFileWide(scratch->path);
    return false;
  }
  constexpr std::uint32_t kKept = platform::kFileAttributeHidden | platform::kFileAttributeSystem;
  if (oldAttributes && (*oldAttributes & kKept) != 0) {
    files.SetFileAttributesWide(path, *oldAttributes & (kKept | platform::kFileAttributeArchive));
  }
  return true;
}

std::optional<std::string> ExactAnsi(platform::Runtime& runtime, std::u16string_view text) {
  auto ansi = runtime.WideToAnsi(text);
  if (!ansi || runtime.AnsiToWide(*ansi) != text) return std::nullopt;
  return ansi;
}

}  // namespace removal
