#include "detect/memory_scanner.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <utility>

#include "common/bytes.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "detect/executable_search.h"
#include "detect/file_scanner.h"
#include "detect/relocation_list.h"
#include "platform/scoped_handle.h"
#include "scan/texts.h"
#include "signatures/signature_index.h"

namespace detect {
namespace {

using codes::ScanResult;

// Texts of the scan are cut to this many characters.
constexpr std::size_t kMaxTextLength = 2000;

std::u16string Cut(std::u16string text) {
  if (text.size() > kMaxTextLength) text.resize(kMaxTextLength);
  return text;
}

// SizeOfImage from the first bytes of an image or its file: they must begin
// with "MZ" and hold the PE headers' first 84 bytes at e_lfanew (at least
// 4), which begin with "PE\0\0". 0 otherwise.
std::uint32_t ImageSizeOf(std::span<const std::uint8_t> bytes) {
  const auto at = [&](std::size_t offset) { return bytes::LittleEndian32(bytes, offset); };
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  const std::uint64_t pe = at(60);
  if (pe < 4 || pe + 84 > bytes.size()) return 0;
  if (bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0) {
    return 0;
  }
  return at(static_cast<std::size_t>(pe + 80));
}

}  // namespace

bool ScannedModuleList::Contains(std::u16string_view path) const {
  return std::binary_search(paths_.begin(), paths_.end(), text::ToUpper(path));
}

void ScannedModuleList::Add(std::u16string_view path) {
  std::u16string upper = text::ToUpper(path);
  const auto at = std::lower_bound(paths_.begin(), paths_.end(), upper);
  if (at == paths_.end() || *at != upper) paths_.insert(at, std::move(upper));
}

// One Run's walk over the processes.
class MemoryScanner::Walk {
 public:
  Walk(MemoryScanner& scanner, scan::ScanContext& context)
      : scanner_(scanner),
        context_(context),
        system_(scanner.systemContext_.system()),
        statistics_(context.statistics()) {}

  enum class Next { kModule, kProcess, kStop };

  // Reads the modules of one process; kStop when the stop request was met.
  Next WalkProcess(const sys::RunningProcess& process) {
    if (process.processId == 0) return Next::kProcess;
    const auto modules = scanner_.walker_->OpenModuleList(process.processId);
    if (!modules) return Next::kProcess;
    ++statistics_.scannedProcesses;
    sys::ModuleRecord module;
    // A process whose first module cannot be read is passed over; the walk
    // goes on with the next process.
    if (!modules->Next(module)) {
      context_.SetStatusText(u"");
      return Next::kProcess;
    }
    bool main = true;
    Next next = Next::kModule;
    do {
      next = ReadModule(process, module, main);
    } while (next == Next::kModule && modules->Next(module));
    return next == Next::kStop ? Next::kStop : Next::kProcess;
  }

  // Walks from `process`, the list's first, to the list's end; false when
  // the stop request was met. The list closes when the walk ends.
  bool WalkProcesses(std::unique_ptr<sys::ProcessList> list, sys::RunningProcess process) {
    do {
      if (WalkProcess(process) == Next::kStop) return false;
    } while (list->Next(process));
    return true;
  }

 private:
  Next ReadModule(const sys::RunningProcess& process, const sys::ModuleRecord& module, bool& main) {
    if (scanner_.scannedModules_.Contains(module.path)) {
      main = false;
      return Next::kModule;
    }
    platform::Processes& processes = system_.processes();
    const platform::Handle opened =
        processes.OpenProcess(sys::kProcessReadAccess, process.processId);
    if (opened == 0) {
      context_.AppendText(
          Cut(text::Format(scan::LoadText(system_, strings::kCannotOpenProcess), {process.name})));
      context_.SetStatusText(u"");
      return Next::kProcess;
    }
    platform::ScopedHandle handle(system_.runtime(), opened);

    if (main && context_.lacksMemorySignature()) {
      CheckOnDisk(scanner_.isWindows9x_ ? process.name : module.path, process.processId,
                  module.path);
    }
    context_.SetStatusText(
        Cut(text::Format(scan::LoadText(system_, strings::kScanningModule), {module.path})));
    ++statistics_.scannedModules;

    ReadWindows(handle.get(), process, module, main);

    if (main) {
      main = false;
    } else {
      scanner_.scannedModules_.Add(module.path);
    }
    handle.Close();
    return context_.stopRequested() ? Next::kStop : Next::kModule;
  }

  void ReadWindows(platform::Handle process, const sys::RunningProcess& running,
                   const sys::ModuleRecord& module, bool main) {
    platform::Processes& processes = system_.processes();
    std::uint64_t left = LengthToRead(process, module);
    std::uint64_t address = module.baseAddress;
    constexpr std::uint64_t kStep = kWindowSize - kWindowOverlap;
    std::optional<RelocationList> relocations;
    bool first = true;
    std::uint8_t* const buffer = scanner_.window_.get();
    Span span{scanner_.span_.get(), scanner_.spanReads_};
    while (left != 0) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kWindowSize));
      std::span<std::uint8_t> window;
      if (const auto held = span.Window(processes, process, address, want, left)) {
        window = *held;
      } else {
        const auto got = processes.ReadProcessMemory(process, address, std::span(buffer, want));
        if (!got) return;
        window = std::span(buffer, std::min(*got, want));
      }
      if (!main && scanner_.restoreRelocations_) {
        if (first) {
          relocations = RelocationList::Build(processes, process, module.baseAddress, module.size);
        }
        if (relocations) {
          // Restored in a copy: the span's bytes are shared with the next
          // window, whose fixups at the overlap are its own.
          if (window.data() != buffer) {
            std::copy(window.begin(), window.end(), buffer);
            window = std::span(buffer, window.size());
          }
          relocations->Restore(address, window);
        }
      }
      first = false;
      statistics_.memoryScanKilobytes += static_cast<double>(window.size() >> 10);
      if (const auto* entry = signatures::FindMemorySignature(context_.signatureIndex(), window)) {
        RecordMemoryFinding(scan::HandlerOf(*entry), running.processId, module.path);
      }
      if (left <= kStep) return;
      address += kStep;
      left -= kStep;
    }
  }

  // The span of one module being read: the windows it holds are cut from it.
  class Span {
   public:
    Span(std::uint8_t* buffer, bool enabled) : buffer_(buffer), enabled_(enabled) {}

    // The window of `want` bytes at `address` when a span holds it whole,
    // reading the next span (`left` bytes remain of the module) when the
    // window lies past the one held. Nothing once a span read has failed:
    // the module is then read window by window.
    std::optional<std::span<std::uint8_t>> Window(platform::Processes& processes,
                                                  platform::Handle process, std::uint64_t address,
                                                  std::size_t want, std::uint64_t left) {
      if (!enabled_) return std::nullopt;
      if (!Holds(address, want)) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSpanSize));
        const auto got = processes.ReadProcessMemory(process, address, std::span(buffer_, length));
        if (!got) {
          enabled_ = false;
          return std::nullopt;
        }
        start_ = address;
        size_ = std::min(*got, length);
        if (!Holds(address, want)) return std::nullopt;
      }
      return std::span(buffer_ + (address - start_), want);
    }

   private:
    bool Holds(std::uint64_t address, std::size_t want) const {
      return size_ != 0 && address >= start_ && address - start_ <= size_ &&
             want <= size_ - (address - start_);
    }

    std::uint8_t* buffer_;
    bool enabled_;
    std::uint64_t start_ = 0;
    std::size_t size_ = 0;
  };

  // A process counts once as infected, whatever found it; a built-in
  // handler is called once per process, with the module of its first match
  // there; a script-described handler lists each process once.
  void RecordMemoryFinding(scan::MalwareHandler& handler, std::uint32_t processId,
                           const std::u16string& path) {
    CountInfected(processId);
    if (handler.IsScriptDescribed()) {
      RecordScriptFinding(handler, processId, path);
      return;
    }
    auto& findings = scanner_.builtInFindings_;
    const bool known = std::any_of(findings.begin(), findings.end(), [&](const BuiltInFinding& f) {
      return f.handler == &handler && f.processId == processId;
    });
    if (!known) findings.push_back(BuiltInFinding{path, processId, &handler});
  }

  void CountInfected(std::uint32_t processId) {
    if (std::find(infected_.begin(), infected_.end(), processId) != infected_.end()) return;
    infected_.push_back(processId);
    ++statistics_.infectedProcesses;
  }

  // How much of the module to read: the enumerated size when the image in
  // memory says the same, else the image size its file gives (0 when
  // neither can be read).
  std::uint64_t LengthToRead(platform::Handle process, const sys::ModuleRecord& module) {
    std::array<std::uint8_t, kHeaderProbeSize> probe{};
    const auto got = system_.processes().ReadProcessMemory(process, module.baseAddress, probe);
    if (!got) return 0;
    const std::uint32_t inMemory =
        ImageSizeOf(std::span(probe).first(std::min(*got, probe.size())));
    if (inMemory != 0 && module.size == inMemory) return module.size;
    return ImageSizeOnDisk(module.path);
  }

  std::uint32_t ImageSizeOnDisk(const std::u16string& path) {
    platform::Files& files = system_.files();
    const platform::FileOpenResult opened = files.CreateFileWide(
        path, platform::kGenericRead, platform::kFileShareRead | platform::kFileShareWrite,
        platform::kOpenExisting, platform::kFileAttributeNormal);
    if (opened.handle == 0) return 0;
    platform::ScopedHandle file(system_.runtime(), opened.handle);
    std::array<std::uint8_t, kHeaderProbeSize> probe{};
    const auto got = files.ReadFile(file.get(), probe);
    if (!got) return 0;
    return ImageSizeOf(std::span(probe).first(std::min<std::size_t>(*got, probe.size())));
  }

  // Checks the main executable at `path` and its named streams on disk with
  // the FILE signatures; every script-described handler found there records
  // the process.
  void CheckOnDisk(const std::u16string& path, std::uint32_t processId,
                   const std::u16string& modulePath) {
    std::vector<scan::MalwareHandler*> found;
    ExecutableSearch search(context_, std::span(scanner_.diskBuffer_.get(), kDiskBufferSize));
    const auto onMatch = [&found](const signatures::SignatureIndexEntry& entry,
                                  const scan::PeFileHeaders&) {
      found.push_back(&scan::HandlerOf(entry));
    };
    ++statistics_.scannedFiles;
    search.Search(path, onMatch);
    sys::SystemContext& systemContext = scanner_.systemContext_;
    if (systemContext.streamReaderBound()) {
      for (const StreamEntry& stream :
           ListNamedStreams(system_, systemContext.streamReader(), path)) {
        ++statistics_.scannedStreams;
        search.Search(path + stream.name, onMatch);
      }
    }
    for (scan::MalwareHandler* handler : found) {
      if (!handler->IsScriptDescribed()) continue;
      CountInfected(processId);
      RecordScriptFinding(*handler, processId, modulePath);
    }
  }

  void RecordScriptFinding(scan::MalwareHandler& handler, std::uint32_t processId,
                           const std::u16string& path) {
    auto& findings = scanner_.scriptFindings_;
    auto it = std::find_if(findings.begin(), findings.end(),
                           [&](const ScriptFinding& f) { return f.handler == &handler; });
    if (it == findings.end()) {
      findings.push_back(ScriptFinding{&handler, {scan::ProcessRecord{path, processId}}});
      return;
    }
    const bool known =
        std::any_of(it->processes.begin(), it->processes.end(),
                    [&](const scan::ProcessRecord& p) { return p.processId == processId; });
    if (!known) it->processes.push_back(scan::ProcessRecord{path, processId});
  }

  MemoryScanner& scanner_;
  scan::ScanContext& context_;
  platform::System& system_;
  scan::ScanStatistics& statistics_;
  // The processes counted as infected in this walk.
  std::vector<std::uint32_t> infected_;
};

MemoryScanner::MemoryScanner(sys::SystemContext& systemContext)
    : systemContext_(systemContext),
      isWindows9x_(systemContext.isWindows9x()),
      walker_(systemContext.processWalker()),
      window_(std::make_unique<std::uint8_t[]>(kWindowSize)),
      span_(std::make_unique<std::uint8_t[]>(kSpanSize)),
      diskBuffer_(std::make_unique<std::uint8_t[]>(kDiskBufferSize)) {}

codes::ScanResult MemoryScanner::Run(scan::ScanContext& context, const scan::DriveNameList&) {
  platform::System& system = systemContext_.system();
  scannedModules_.Clear();
  builtInFindings_.clear();
  scriptFindings_.clear();

  const auto version = system.runtime().QueryVersion();
  if (!version) {
    context.AppendText(scan::LoadText(system, strings::kVersionUnknown));
    return ScanResult::kVersionQueryError;
  }
  if (version->platformId == platform::kPlatformWin32Nt) {
    if (!sys::EnableDebugPrivilege(system)) {
      context.AppendText(scan::LoadText(system, strings::kInsufficientRights));
      return ScanResult::kInsufficientRights;
    }
  } else if (version->platformId != platform::kPlatformWin32Windows) {
    context.AppendText(scan::LoadText(system, strings::kUnsupportedWindows));
    return ScanResult::kInvalidWindowsVersion;
  }
  if (walker_ == nullptr) {
    context.AppendText(scan::LoadText(system, strings::kMemoryScannerInitFailed));
    return ScanResult::kMemoryScannerInitError;
  }
  const std::u16string scanning = scan::LoadText(system, strings::kScanningMemory);
  context.AppendText(scanning);
  context.SetStatusText(std::u16string(u" ").append(scanning));
  auto processes = walker_->OpenProcessList();
  if (!processes) {
    context.AppendText(scan::LoadText(system, strings::kProcessListError));
    return ScanResult::kProcessSnapshotError;
  }

  scan::ScanStatistics& statistics = context.statistics();
  statistics.ResetForMemoryScan();

  sys::RunningProcess process;
  const bool any = processes->Next(process);
  if (!any && !isWindows9x_) return ScanResult::kNoProcessesFound;
  const std::uint32_t start = system.runtime().GetTickCount();
  const bool stopped = any && !Walk(*this, context).WalkProcesses(std::move(processes), process);
  if (!stopped) context.SetStatusText(u"");
  scannedModules_.Clear();
  statistics.memoryScanTime = static_cast<std::uint32_t>(system.runtime().GetTickCount() - start);
  if (stopped) {
    builtInFindings_.clear();
    scriptFindings_.clear();
    return ScanResult::kStoppedByUser;
  }
  // Built by append: i686 GCC 12 at -O3 warns falsely (-Wrestrict) on a
  // literal added to a temporary string.
  context.AppendText(std::u16string(u" ").append(scan::LoadText(system, strings::kDone)));

  // The findings go to their handlers only now, after the whole walk.
  for (std::size_t i = 0; i < builtInFindings_.size(); ++i) {
    const BuiltInFinding& finding = builtInFindings_[i];
    finding.handler->Remove(context, scan::ProcessFinding{finding.modulePath, finding.processId,
                                                          i + 1 < builtInFindings_.size()});
  }
  if (builtInFindings_.empty() && scriptFindings_.empty()) {
    context.AppendText(scan::LoadText(system, strings::kNoMalwareInMemory));
    return ScanResult::kDone;
  }
  for (const ScriptFinding& finding : scriptFindings_) {
    const std::vector<scan::ProcessRecord> processesFound = finding.processes;
    finding.handler->Remove(context, scan::ScriptFinding{processesFound});
  }
  return ScanResult::kDone;
}

}  // namespace detect
