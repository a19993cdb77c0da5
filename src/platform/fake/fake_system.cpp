#include "platform/fake/fake_system.h"

#include "common/string_table.h"
#include "common/text.h"

namespace platform::fake {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five bytes without a character map to
// the control character of the same value, as Windows does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

FakeSystem::FakeSystem() {
  version = OsVersion{kPlatformWin32Nt, 5, 1, 2600, u"Service Pack 2"};
  for (const strings::Entry& entry : strings::Table()) {
    strings.emplace(entry.id, std::u16string(entry.text));
  }
  FakeVersionResource own;
  own.binaryValues[u"\\VarFileInfo\\Translation"] = {0x09, 0x04, 0xB0, 0x04};
  own.textValues[u"\\StringFileInfo\\040904B0\\FileVersion"] = u"3, 0, 1, 16";
  versionResources[moduleFileName] = own;
  files.AddFolder(u"C:\\");
  files.AddFolder(moduleFileName.substr(0, moduleFileName.rfind(u'\\')));
}

std::optional<std::u16string> FakeSystem::LoadStringResource(std::uint32_t id) {
  const auto it = strings.find(id);
  if (it == strings.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

std::optional<std::vector<std::uint8_t>> FakeSystem::LoadResourceData(std::u16string_view type,
                                                                      std::u16string_view name) {
  const auto it = resources.find({std::u16string(type), std::u16string(name)});
  if (it == resources.end()) return std::nullopt;
  return it->second;
}

int FakeSystem::ShowMessageBox(WindowId owner, std::u16string_view text,
                               std::u16string_view caption, std::uint32_t type) {
  messageBoxes.push_back(MessageBoxCall{owner, std::u16string(text), std::u16string(caption), type,
                                        caption.data() == nullptr});
  if (!messageBoxAnswers.empty()) {
    const int answer = messageBoxAnswers.front();
    messageBoxAnswers.pop_front();
    return answer;
  }
  return (type & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

MutexResult FakeSystem::CreateNamedMutex(std::u16string_view name, bool) {
  if (mutexCreationFails) return MutexResult{0, 5};
  const bool existed = !mutexes.insert(std::u16string(name)).second;
  return MutexResult{nextHandle_++, existed ? kErrorAlreadyExists : 0u};
}

Handle FakeSystem::LoadLibraryAnsi(std::string_view name) {
  return LoadLibraryWide(AnsiToWide(name));
}

Handle FakeSystem::LoadLibraryWide(std::u16string_view name) {
  // A path loads the file of that name when it exists and is an image.
  if (name.find(u'\\') != std::u16string_view::npos) {
    const FakeFile* file = files.Find(name);
    if (file == nullptr || file->bytes.size() < 2 || file->bytes[0] != 'M' ||
        file->bytes[1] != 'Z') {
      return 0;
    }
    loadedLibraries.emplace_back(name);
    const Handle handle = nextHandle_++;
    libraries_[handle] = std::u16string(name);
    return handle;
  }
  for (const std::u16string& loadable : loadableLibraries) {
    if (text::EqualsNoCase(loadable, name)) {
      loadedLibraries.emplace_back(name);
      const Handle handle = nextHandle_++;
      libraries_[handle] = std::u16string(name);
      return handle;
    }
  }
  return 0;
}

bool FakeSystem::IsLibraryLoaded(Handle library, std::u16string_view name) const {
  const auto it = libraries_.find(library);
  return it != libraries_.end() && text::EqualsNoCase(it->second, name);
}

void FakeSystem::FreeLibraryHandle(Handle library) {
  const auto it = libraries_.find(library);
  if (it == libraries_.end()) return;
  freedLibraries.push_back(it->second);
  libraries_.erase(it);
}

std::optional<std::string> FakeSystem::WideToAnsi(std::u16string_view wide) {
  if (wideToAnsiFails) return std::nullopt;
  std::string out;
  out.reserve(wide.size());
  for (char16_t c : wide) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHighControls[i] == c) mapped = static_cast<char>(0x80 + i);
    }
    out.push_back(mapped);
  }
  return out;
}

std::u16string FakeSystem::AnsiToWide(std::string_view ansi) {
  if (ansiToWideFails) return {};
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80]
                                              : static_cast<char16_t>(byte));
  }
  return out;
}

int FakeSystem::RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) {
  const WindowId window = nextHandle_++;
  dialogs.push_back(std::make_unique<FakeDialog>(templateId, window, owner, handler));
  FakeDialog& dialog = *dialogs.back();
  handler.OnInitDialog(dialog);
  if (!dialog.endCode && user) user(dialog);
  return dialog.endCode.value_or(kNotEnded);
}

}  // namespace platform::fake
