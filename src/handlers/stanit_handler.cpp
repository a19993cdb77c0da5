#include "handlers/stanit_handler.h"

#include <array>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/scoped_handle.h"
#include "scan/pe_headers.h"

namespace handlers {

namespace {

constexpr std::u16string_view kStanit = u"W32/Stanit";

// Where the host's entry point lies in the stub.
constexpr std::size_t kHostEntryPointAt = 3;
constexpr std::size_t kHostEntryPointSize = 4;

// The bytes read at `offset`; 0 when the position cannot be set or the read
// fails.
std::size_t ReadAt(platform::Files& files, platform::Handle file, std::uint64_t offset,
                   std::span<std::uint8_t> buffer) {
  const auto at =
      files.SetFilePointer(file, static_cast<std::int64_t>(offset), platform::kFileBegin);
  if (!at || *at != offset) return 0;
  return files.ReadFile(file, buffer).value_or(0);
}

std::size_t WriteAt(platform::Files& files, platform::Handle file, std::uint64_t offset,
                    std::span<const std::uint8_t> bytes) {
  const auto at =
      files.SetFilePointer(file, static_cast<std::int64_t>(offset), platform::kFileBegin);
  if (!at || *at != offset) return 0;
  return files.WriteFile(file, bytes).value_or(0);
}

bool IsStub(std::span<const std::uint8_t, kStanitStubSize> bytes) {
  return bytes[0] == 0x52 && bytes[1] == 0x60 && bytes[2] == 0xB9 && bytes[7] == 0xE8;
}

// The file offset of the code at `address` when a section holds it in its
// raw data: the first section in table order whose virtual range (by its
// virtual or its raw size) contains it, as the entry point is mapped, and
// whose data in the file reaches that far. Nothing otherwise: the loader
// would start such an entry point on zeros or outside the image.
std::optional<std::uint64_t> CodeFileOffset(std::uint32_t address,
                                            const std::vector<scan::SectionHeader>& sections) {
  for (const scan::SectionHeader& section : sections) {
    const std::uint64_t start = section.VirtualAddress();
    if (address < start) continue;
    const std::uint64_t within = address - start;
    if (within >= section.VirtualSize() && within >= section.SizeOfRawData()) continue;
    if (within >= section.SizeOfRawData()) return std::nullopt;
    return std::uint64_t{section.PointerToRawData()} + within;
  }
  return std::nullopt;
}

// Whether the host's entry point kept in the stub leads to code of the file
// that the repair leaves in place: inside a section's data and outside the
// body, both as an address and as a file offset.
bool IsUsableHostEntryPoint(std::uint32_t hostEntryPoint, std::uint32_t entryPoint,
                            std::uint64_t entryOffset,
                            const std::vector<scan::SectionHeader>& sections) {
  const auto inBody = [](std::uint64_t at, std::uint64_t bodyStart) {
    return at >= bodyStart && at < bodyStart + kStanitBodySize;
  };
  const std::optional<std::uint64_t> offset = CodeFileOffset(hostEntryPoint, sections);
  return offset && !inBody(hostEntryPoint, entryPoint) && !inBody(*offset, entryOffset);
}

}  // namespace

StanitRepair RepairStanitFile(platform::System& system, const scan::FileFinding& finding) {
  platform::Files& files = system.files();
  const std::u16string_view path = finding.path;
  const scan::PeFileHeaders& headers = finding.headers;

  const platform::FileOpenResult opened = files.CreateFileWide(
      path, platform::kGenericRead | platform::kGenericWrite, platform::kFileShareRead,
      platform::kOpenExisting, platform::kFileAttributeNormal);
  if (opened.handle == 0) return StanitRepair::kCannotOpen;
  const platform::ScopedHandle file(system.runtime(), opened.handle);
  const platform::Handle handle = file.get();

  const std::uint32_t entryPoint = headers.AddressOfEntryPoint();
  const std::uint64_t entry = scan::EntryPointFileOffset(entryPoint, headers.sections);

  std::array<std::uint8_t, kStanitStubSize> stub{};
  if (ReadAt(files, handle, entry, stub) != stub.size()) return StanitRepair::kFailed;
  // Only the virus's own code at the dropper's place makes the file a
  // dropper: many a program starts at the beginning of its first section.
  if (entry == kStanitDropperEntryOffset) {
    return IsStub(stub) ? StanitRepair::kDropper : StanitRepair::kLeftUnchanged;
  }
  if (!IsStub(stub)) return StanitRepair::kRepaired;
  const auto hostEntryPoint =
      std::span<const std::uint8_t>(stub).subspan(kHostEntryPointAt, kHostEntryPointSize);
  if (!IsUsableHostEntryPoint(bytes::LittleEndian32(hostEntryPoint, 0), entryPoint, entry,
                              headers.sections)) {
    return StanitRepair::kLeftUnchanged;
  }

  // Everything the repair writes over must be there before the first byte
  // is written: the whole body, and the entry point field, which must not
  // lie inside the body (clearing the body would undo the restored entry
  // point) and must hold the entry point that led here (the finding's
  // headers are this file's).
  const std::optional<std::uint64_t> size = files.GetFileSize(handle);
  const std::uint64_t field = std::uint64_t{headers.PeHeaderOffset()} + kEntryPointFieldOffset;
  const std::uint64_t bodyEnd = entry + kStanitBodySize;
  if (!size || bodyEnd > *size || field + kHostEntryPointSize > *size) {
    return StanitRepair::kFailed;
  }
  if (field + kHostEntryPointSize > entry && field < bodyEnd) return StanitRepair::kFailed;
  std::array<std::uint8_t, kHostEntryPointSize> current{};
  if (ReadAt(files, handle, field, current) != current.size() ||
      bytes::LittleEndian32(current, 0) != entryPoint) {
    return StanitRepair::kFailed;
  }

  // The entry point first: a repair cut short after it leaves a file that
  // starts its host, never one that runs into zeros.
  if (WriteAt(files, handle, field, hostEntryPoint) != kHostEntryPointSize) {
    return StanitRepair::kFailed;
  }
  const std::vector<std::uint8_t> zeros(kStanitBodySize, 0);
  if (WriteAt(files, handle, entry, zeros) != zeros.size()) return StanitRepair::kFailed;

  std::array<std::uint8_t, kStanitCheckWindowSize> window{};
  if (ReadAt(files, handle, entry + kStanitCheckWindowDistance, window) < window.size()) {
    return StanitRepair::kRepaired;
  }
  for (const std::uint8_t byte : window) {
    if (byte != 0) return StanitRepair::kHostDamaged;
  }
  return StanitRepair::kRepaired;
}

void StanitHandler::Remove(scan::ScanContext& context, const scan::Finding& finding) {
  RemovalSteps steps(context);
  if (const auto* process = std::get_if<scan::ProcessFinding>(&finding)) {
    steps.Report(kStanit, steps.Text(strings::kFileInfectorInMemory));
    const std::u16string warning = steps.Text(strings::kWarningWord);
    for (const std::uint32_t text : {strings::kDoNotRunPrograms, strings::kDoNotInterruptScan,
                                     strings::kRescanAfterCompletion}) {
      steps.Report(warning, steps.Text(text));
    }
    steps.AppendText(strings::kTerminatingProcess);
    const codes::ProcessEndResult ended =
        steps.operations().TerminateProcessById(process->processId);
    steps.AppendText(EndOfTerminationLine(ended));
    // A process left running still carries the virus.
    steps.Report(kStanit,
                 steps.Text(ended == codes::ProcessEndResult::kEnded ? strings::kRemovedFromMemory
                                                                     : strings::kNotRemoved));
    return;
  }

  const auto* file = std::get_if<scan::FileFinding>(&finding);
  if (file == nullptr) return;
  const std::u16string_view path = file->path;
  steps.Report(kStanit, text::Format(steps.Text(strings::kFoundInFile), {path}));
  steps.AppendText(strings::kRepairingExecutable);
  switch (RepairStanitFile(context.systemContext().system(), *file)) {
    case StanitRepair::kRepaired:
      steps.AppendText(strings::kDone);
      steps.Report(kStanit, steps.Text(strings::kSuccessfullyRemoved));
      ++context.statistics().removedFiles;
      return;
    case StanitRepair::kHostDamaged:
      steps.AppendText(strings::kFileMayBeDestroyed);
      steps.AppendText(strings::kComponentDisabled);
      return;
    case StanitRepair::kDropper:
      // A file of the system's own processes is never deleted.
      if (steps.IsSystemProcessFile(path)) {
        steps.AppendText(strings::kSystemFileKept);
        break;
      }
      // RemoveFile counts by itself.
      if (steps.operations().RemoveFile(path) != codes::FileRemovalResult::kScheduleFailed) {
        steps.AppendText(strings::kRemovingDropper);
        steps.AppendText(strings::kDone);
        return;
      }
      // The dropper stays: said so like any other failure.
      steps.AppendText(strings::kFailed);
      break;
    case StanitRepair::kCannotOpen:
      steps.AppendText(strings::kFailedToOpen);
      break;
    case StanitRepair::kLeftUnchanged:
      steps.AppendText(strings::kRepairLeftUnchanged);
      break;
    case StanitRepair::kFailed:
      steps.AppendText(strings::kFailed);
      break;
  }
  steps.Report(kStanit, steps.Text(strings::kNotRemoved));
}

}  // namespace handlers
