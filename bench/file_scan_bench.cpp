// The file scan benchmark: the real file scanner over one drive on the real
// system, with the FILE signatures of a description script given on the
// command line. Findings are only recorded; nothing is removed and nothing
// is shown but the figures printed at the end.
//
//   file_scan_bench.exe [--profile] DRIVE SCRIPT
//   file_scan_bench.exe --floor DRIVE
//
// DRIVE is a drive name ("S:"); SCRIPT the path of a description script
// (UTF-16LE with byte-order mark), read and parsed by the program's parser.
// The parser compares each block's name and signatures with those of every
// block before it, which grows with the square of the blocks (about 500 s
// for 100,000 blocks under Wine); the benchmark therefore cuts the script
// before every 100th header and parses the pieces one by one, checking the
// names and signatures for repeats across pieces itself. Each block's
// signatures are compiled as the malware database compiles them; a block
// whose signatures do not compile is left out.
//
// Printed on standard output, one "key: value" per line: the script's blocks
// and the time of parsing, compiling and building the index (none of it in
// the scan time), the scan's result, statistics and wall time, then one
// "found: PATH" line per file reported, in the order reported.
//
// With --profile the platform's file calls are timed by kind (listing,
// opening, header reads and seeks, reading, closing, stream listing), the
// rest of the scan being the scanner's own work with the signature search;
// the bytes that the scan searched are kept and searched once more from
// memory afterwards, which times the search alone. The timing wrappers cost
// time of their own: compare a profiled scan with a plain one.
//
// With --floor nothing is scanned: every file of the drive is opened, its
// first 4096 bytes read and the file closed, on 1, 2, 3 and 4 threads, which
// is the least that any scan of the drive's files must do (see Floor).
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/text.h"
#include "descriptions/malware_description.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "detect/file_scanner.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"
#include "platform/win32/win32_system.h"
#include "removal/system_operations.h"
#include "scan/malware_handler.h"
#include "scan/scan_context.h"
#include "signatures/signature.h"
#include "signatures/signature_index.h"
#include "system/system_context.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// --- Timing of the platform's file calls (--profile) ---

enum Phase : std::size_t {
  kListing,         // FindFirstFileW, FindNextFileW, FindClose, a folder's identity
  kOpening,         // CreateFileW of a file to scan
  kSeekingAndSize,  // SetFilePointer, GetFileSize
  kHeaderReading,   // the ReadFile calls of the PE check (mark, headers, section table)
  kRegionReading,   // the ReadFile calls of the sections and the entry point window
  kClosing,         // CloseHandle
  kStreamListing,   // CreateFileW with backup semantics, BackupRead, BackupSeek
  kPhaseCount
};

constexpr std::array<const char*, kPhaseCount> kPhaseNames = {
    "listing",        "opening", "seeking-and-size", "header-reading",
    "region-reading", "closing", "stream-listing"};

// The most bytes of the regions that a profiled scan keeps.
constexpr std::size_t kKeptRegionBytes = std::size_t{512} << 20;

// The reads of one opened file that the PE check makes before any region is
// read: its first 4096 bytes, which hold the mark, the DOS and PE headers
// and the section table of all but odd files (whose further header reads
// count as region reads here).
constexpr int kHeaderReads = 1;

struct PhaseTimes {
  std::array<double, kPhaseCount> milliseconds{};
  std::array<std::uint64_t, kPhaseCount> calls{};
  // The regions' bytes as read, one piece after another (the first
  // regionBytesUsed bytes), and where each piece starts; searched again after
  // the scan. The buffer is filled before the scan, so that the scan meets
  // no allocation of its own; what does not fit is not kept.
  std::vector<std::uint8_t> regionBytes;
  std::size_t regionBytesUsed = 0;
  std::vector<std::size_t> pieceStarts;
  bool regionBytesFull = false;
  int readsSinceOpen = 0;
};

class PhaseTimer {
 public:
  PhaseTimer(PhaseTimes& times, Phase phase) : times_(times), phase_(phase), start_(Clock::now()) {}
  ~PhaseTimer() {
    times_.milliseconds[phase_] += MillisecondsSince(start_);
    ++times_.calls[phase_];
  }
  PhaseTimer(const PhaseTimer&) = delete;
  PhaseTimer& operator=(const PhaseTimer&) = delete;

 private:
  PhaseTimes& times_;
  Phase phase_;
  Clock::time_point start_;
};

class TimedFiles final : public platform::Files {
 public:
  TimedFiles(platform::Files& files, PhaseTimes& times) : files_(files), times_(times) {}

  platform::DriveStrings GetLogicalDriveStringsWide(std::uint32_t bufferLength) override {
    return files_.GetLogicalDriveStringsWide(bufferLength);
  }
  std::uint32_t GetDriveTypeWide(std::u16string_view rootPath) override {
    return files_.GetDriveTypeWide(rootPath);
  }
  std::uint32_t CreateDirectoryWide(std::u16string_view path) override {
    return files_.CreateDirectoryWide(path);
  }
  bool RemoveDirectoryWide(std::u16string_view path) override {
    return files_.RemoveDirectoryWide(path);
  }
  bool DeleteFileWide(std::u16string_view path) override { return files_.DeleteFileWide(path); }
  std::optional<std::uint32_t> GetFileAttributesWide(std::u16string_view path) override {
    return files_.GetFileAttributesWide(path);
  }
  platform::FileMoveResult MoveFileWide(std::u16string_view from, std::u16string_view to) override {
    return files_.MoveFileWide(from, to);
  }
  bool MoveFileExWide(std::u16string_view from, std::optional<std::u16string_view> to,
                      std::uint32_t flags) override {
    return files_.MoveFileExWide(from, to, flags);
  }
  std::optional<platform::FindFirstResult> FindFirstFileWide(std::u16string_view pattern) override {
    PhaseTimer timer(times_, kListing);
    return files_.FindFirstFileWide(pattern);
  }
  std::optional<platform::FindData> FindNextFileWide(platform::Handle search) override {
    PhaseTimer timer(times_, kListing);
    return files_.FindNextFileWide(search);
  }
  bool FindClose(platform::Handle search) override {
    PhaseTimer timer(times_, kListing);
    return files_.FindClose(search);
  }
  bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) override {
    return files_.SetFileAttributesWide(path, attributes);
  }
  platform::FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                          std::uint32_t shareMode,
                                          std::uint32_t creationDisposition,
                                          std::uint32_t flagsAndAttributes) override {
    // A folder is opened without access to learn its identity; a file with
    // backup semantics to list its streams.
    const bool folder = access == 0;
    const bool streams = !folder && (flagsAndAttributes & platform::kFileFlagBackupSemantics) != 0;
    PhaseTimer timer(times_, folder ? kListing : streams ? kStreamListing : kOpening);
    if (!streams) times_.readsSinceOpen = 0;
    return files_.CreateFileWide(path, access, shareMode, creationDisposition, flagsAndAttributes);
  }
  std::optional<platform::FileIdentity> GetFileInformationByHandle(platform::Handle file) override {
    PhaseTimer timer(times_, kListing);
    return files_.GetFileInformationByHandle(file);
  }
  std::optional<std::uint64_t> SetFilePointer(platform::Handle file, std::int64_t distance,
                                              std::uint32_t moveMethod) override {
    PhaseTimer timer(times_, kSeekingAndSize);
    return files_.SetFilePointer(file, distance, moveMethod);
  }
  bool SetEndOfFile(platform::Handle file) override { return files_.SetEndOfFile(file); }
  std::optional<std::uint64_t> GetFileSize(platform::Handle file) override {
    PhaseTimer timer(times_, kSeekingAndSize);
    return files_.GetFileSize(file);
  }
  std::optional<std::uint32_t> ReadFile(platform::Handle file,
                                        std::span<std::uint8_t> buffer) override {
    const bool region = times_.readsSinceOpen >= kHeaderReads;
    ++times_.readsSinceOpen;
    std::optional<std::uint32_t> got;
    {
      PhaseTimer timer(times_, region ? kRegionReading : kHeaderReading);
      got = files_.ReadFile(file, buffer);
    }
    if (region && got) {
      if (times_.regionBytes.size() - times_.regionBytesUsed >= *got) {
        times_.pieceStarts.push_back(times_.regionBytesUsed);
        std::copy_n(buffer.begin(), *got, times_.regionBytes.begin() + times_.regionBytesUsed);
        times_.regionBytesUsed += *got;
      } else {
        times_.regionBytesFull = true;
      }
    }
    return got;
  }
  std::optional<std::uint32_t> WriteFile(platform::Handle file,
                                         std::span<const std::uint8_t> bytes) override {
    return files_.WriteFile(file, bytes);
  }
  platform::BackupReadFunction BindBackupRead(platform::Handle module) override {
    platform::BackupReadFunction read = files_.BindBackupRead(module);
    if (!read) return read;
    return [this, read](platform::Handle file, std::span<std::uint8_t> buffer, bool abort,
                        bool processSecurity, std::uint64_t& context) {
      PhaseTimer timer(times_, kStreamListing);
      return read(file, buffer, abort, processSecurity, context);
    };
  }
  platform::BackupSeekFunction BindBackupSeek(platform::Handle module) override {
    platform::BackupSeekFunction seek = files_.BindBackupSeek(module);
    if (!seek) return seek;
    return [this, seek](platform::Handle file, std::uint64_t distance, std::uint64_t& context) {
      PhaseTimer timer(times_, kStreamListing);
      return seek(file, distance, context);
    };
  }
  std::optional<std::u16string> GetShortPathNameWide(std::u16string_view path) override {
    return files_.GetShortPathNameWide(path);
  }
  platform::ShFileOperationFunction BindShFileOperation(platform::Handle library) override {
    return files_.BindShFileOperation(library);
  }

 private:
  platform::Files& files_;
  PhaseTimes& times_;
};

class TimedRuntime final : public platform::Runtime {
 public:
  TimedRuntime(platform::Runtime& runtime, PhaseTimes& times) : runtime_(runtime), times_(times) {}

  std::optional<platform::OsVersion> QueryVersion() override { return runtime_.QueryVersion(); }
  std::u16string ModuleFileName() override { return runtime_.ModuleFileName(); }
  std::u16string CommandLine() override { return runtime_.CommandLine(); }
  platform::Handle StartThread(std::function<void()> body) override {
    return runtime_.StartThread(std::move(body));
  }
  bool WaitForThread(platform::Handle thread) override { return runtime_.WaitForThread(thread); }
  bool WaitForThreads(std::span<const platform::Handle> threads) override {
    return runtime_.WaitForThreads(threads);
  }
  bool ExitWindowsEx(std::uint32_t flags) override { return runtime_.ExitWindowsEx(flags); }
  platform::MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) override {
    return runtime_.CreateNamedMutex(name, initialOwner);
  }
  [[noreturn]] void ExitProcess(int status) override {
    runtime_.ExitProcess(status);
    std::abort();  // not reached
  }
  platform::Handle LoadLibraryAnsi(std::string_view name) override {
    return runtime_.LoadLibraryAnsi(name);
  }
  platform::Handle LoadLibraryWide(std::u16string_view name) override {
    return runtime_.LoadLibraryWide(name);
  }
  void FreeLibraryHandle(platform::Handle library) override { runtime_.FreeLibraryHandle(library); }
  platform::Handle GetModuleHandleWide(std::u16string_view name) override {
    return runtime_.GetModuleHandleWide(name);
  }
  platform::LocalTime GetLocalTime() override { return runtime_.GetLocalTime(); }
  std::uint32_t GetTickCount() override { return runtime_.GetTickCount(); }
  std::optional<std::string> WideToAnsi(std::u16string_view wide) override {
    return runtime_.WideToAnsi(wide);
  }
  std::u16string AnsiToWide(std::string_view ansi) override { return runtime_.AnsiToWide(ansi); }
  std::u16string UpperCaseTable() override { return runtime_.UpperCaseTable(); }
  bool CloseHandle(platform::Handle handle) override {
    PhaseTimer timer(times_, kClosing);
    return runtime_.CloseHandle(handle);
  }

 private:
  platform::Runtime& runtime_;
  PhaseTimes& times_;
};

// The real system with its runtime and files areas timed.
class TimedSystem final : public platform::System {
 public:
  TimedSystem(platform::System& real, TimedRuntime& runtime, TimedFiles& files)
      : System(runtime, real.resources(), real.ui(), real.folders(), files, real.registry(),
               real.profileFiles(), real.processes(), real.network()) {}
};

// --- The scan context ---

class QuietObserver final : public scan::ScanObserver {
 public:
  void SetProgressText(std::u16string_view) override {}
  void ReportFinding(std::u16string_view, std::optional<std::u16string_view>) override {}
  void AppendText(std::u16string_view) override {}
  void SetStatusText(std::u16string_view) override {}
  void ScanFinished(codes::ScanResult) override {}
};

// One block of the script: records the files it is found in.
class RecordingHandler final : public scan::MalwareHandler {
 public:
  RecordingHandler(const signatures::SignaturePair& signatures,
                   const descriptions::MalwareDescription& description,
                   std::vector<std::u16string>& found)
      : MalwareHandler(signatures), description_(description), found_(found) {}

  std::u16string_view BaseName() const override { return description_.baseName; }
  std::u16string_view VariantName() const override { return description_.variantName; }
  void Remove(scan::ScanContext&, const scan::Finding& finding) override {
    if (const auto* file = std::get_if<scan::FileFinding>(&finding))
      found_.emplace_back(file->path);
  }
  bool IsScriptDescribed() const override { return true; }

 private:
  const descriptions::MalwareDescription& description_;
  std::vector<std::u16string>& found_;
};

class BenchContext final : public scan::ScanContext {
 public:
  BenchContext(sys::SystemContext& systemContext, signatures::SignatureIndex index)
      : systemContext_(systemContext),
        index_(std::move(index)),
        operations_(systemContext_, statistics_, rebootRequired_) {}

  bool stopRequested() const override { return false; }
  scan::ScanObserver& observer() override { return observer_; }
  scan::ScanStatistics& statistics() override { return statistics_; }
  const signatures::SignatureIndex& signatureIndex() const override { return index_; }
  bool lacksMemorySignature() const override { return true; }
  sys::SystemContext& systemContext() override { return systemContext_; }
  std::atomic<bool>& rebootRequired() override { return rebootRequired_; }
  scan::RemovalOperations& removalOperations() override { return operations_; }
  void CountFinding() override {}

 private:
  sys::SystemContext& systemContext_;
  signatures::SignatureIndex index_;
  QuietObserver observer_;
  scan::ScanStatistics statistics_;
  std::atomic<bool> rebootRequired_{false};
  removal::SystemRemovalOperations operations_;
};

// --- The script ---

std::optional<std::vector<std::uint8_t>> ReadWholeFile(platform::System& system,
                                                       std::u16string_view path) {
  platform::Files& files = system.files();
  const platform::FileOpenResult opened =
      files.CreateFileWide(path, platform::kGenericRead, platform::kFileShareRead,
                           platform::kOpenExisting, platform::kFileAttributeNormal);
  if (opened.handle == 0) return std::nullopt;
  platform::ScopedHandle file(system.runtime(), opened.handle);
  const auto size = files.GetFileSize(file.get());
  if (!size) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto got = files.ReadFile(file.get(), std::span(bytes).subspan(done));
    if (!got || *got == 0) return std::nullopt;
    done += *got;
  }
  return bytes;
}

// Whether the line is a header line: its first word "[Malware", or a word of
// one character followed by "Malware" (without regard to case).
bool IsHeaderLine(std::u16string_view line) {
  auto nextWord = [&line]() {
    const std::size_t start = std::min(line.find_first_not_of(u" \t"), line.size());
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(u" \t\r"), line.size());
    const std::u16string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
  };
  const std::u16string_view first = nextWord();
  if (first.size() == 1) return text::EqualsNoCase(nextWord(), u"Malware");
  return text::EqualsNoCase(first, u"[Malware");
}

constexpr std::size_t kBlocksPerPiece = 100;

std::u16string UpperAscii(std::string_view ascii) { return text::ToUpper(text::FromAscii(ascii)); }

// Parses `text` in pieces of kBlocksPerPiece blocks, each cut before a header
// line; nothing after a parse error or a name or signature that an earlier
// piece already had (each reported on standard error).
std::optional<std::vector<descriptions::MalwareDescription>> ParseInPieces(
    sys::SystemContext& context, const std::u16string& text) {
  std::vector<descriptions::MalwareDescription> records;
  std::unordered_set<std::u16string> names;
  std::unordered_set<std::u16string> fileSignatures;
  std::unordered_set<std::u16string> memorySignatures;
  const auto repeated = [](std::unordered_set<std::u16string>& seen,
                           const std::optional<std::string>& signature) {
    return signature && !seen.insert(UpperAscii(*signature)).second;
  };
  std::size_t pieceStart = 0;
  int pieceLine = 1;
  int line = 1;
  std::size_t headers = 0;
  for (std::size_t position = 0;; ++line) {
    const bool atEnd = position == text.size();
    std::size_t end = atEnd ? position : text.find(u'\n', position);
    if (end == std::u16string::npos) end = text.size();
    const bool header =
        !atEnd && IsHeaderLine(std::u16string_view(text).substr(position, end - position));
    const bool cut = atEnd || (header && headers++ % kBlocksPerPiece == 0 && position != 0);
    if (cut && position > pieceStart) {
      descriptions::ScriptParser parser(
          context, text.substr(pieceStart, position - pieceStart),
          [pieceLine](std::u16string_view, std::u16string_view message) {
            std::fprintf(stderr, "in the piece from line %d: %s", pieceLine,
                         text::ToUtf8(message).c_str());
          });
      if (!parser.ParseScript()) return std::nullopt;
      for (const descriptions::MalwareDescription& record : parser.records()) {
        if (!names.insert(text::ToUpper(record.baseName + u'\0' + record.variantName)).second ||
            repeated(fileSignatures, record.fileSignature) ||
            repeated(memorySignatures, record.memorySignature)) {
          std::fprintf(stderr, "repeated name or signature: %s\n",
                       text::ToUtf8(descriptions::DisplayName(record)).c_str());
          return std::nullopt;
        }
        records.push_back(record);
      }
      pieceStart = position;
      pieceLine = line;
    }
    if (atEnd) break;
    position = end < text.size() ? end + 1 : end;
  }
  return records;
}

void Print(const char* key, double value) { std::printf("%s: %.1f\n", key, value); }
void Print(const char* key, std::uint64_t value) {
  std::printf("%s: %llu\n", key, static_cast<unsigned long long>(value));
}

int Run(const std::u16string& drive, const std::u16string& scriptPath, bool profile) {
  const std::unique_ptr<platform::System> real = platform::win32::CreateSystem();
  PhaseTimes times;
  TimedRuntime timedRuntime(real->runtime(), times);
  TimedFiles timedFiles(real->files(), times);
  TimedSystem timedSystem(*real, timedRuntime, timedFiles);
  platform::System& system = profile ? static_cast<platform::System&>(timedSystem) : *real;
  sys::SystemContext systemContext(system);

  const auto bytes = ReadWholeFile(system, scriptPath);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", text::ToUtf8(scriptPath).c_str());
    return 2;
  }
  Clock::time_point start = Clock::now();
  const auto records = ParseInPieces(systemContext, descriptions::ScriptTextFromBytes(*bytes));
  if (!records) return 2;
  const double parseMs = MillisecondsSince(start);

  // The handlers as the malware database makes them: a block whose
  // signatures do not compile is left out.
  start = Clock::now();
  std::vector<std::u16string> found;
  std::vector<std::unique_ptr<RecordingHandler>> handlers;
  for (const descriptions::MalwareDescription& description : *records) {
    signatures::SignaturePair pair;
    if (description.memorySignature) {
      const auto memory = signatures::CompileSignatureRecord(description.memorySignature);
      if (!memory) continue;
      pair.memory = *memory;
    }
    if (description.fileSignature) {
      const auto file = signatures::CompileSignatureRecord(description.fileSignature);
      if (!file) continue;
      pair.file = *file;
    }
    handlers.push_back(std::make_unique<RecordingHandler>(pair, description, found));
  }
  const double compileMs = MillisecondsSince(start);

  start = Clock::now();
  std::vector<signatures::SignatureOwner*> owners;
  owners.reserve(handlers.size());
  for (const auto& handler : handlers) owners.push_back(handler.get());
  BenchContext context(systemContext, signatures::BuildSignatureIndex(owners));
  const double indexMs = MillisecondsSince(start);

  detect::FileScanner scanner(systemContext);
  const scan::DriveNameList drives{drive};
  times = PhaseTimes{};
  if (profile) times.regionBytes.assign(kKeptRegionBytes, 0);
  start = Clock::now();
  const codes::ScanResult result = scanner.Run(context, drives);
  const double scanMs = MillisecondsSince(start);

  const scan::ScanStatistics& statistics = context.statistics();
  Print("blocks", std::uint64_t{records->size()});
  Print("handlers", std::uint64_t{handlers.size()});
  Print("index-entries", std::uint64_t{context.signatureIndex().entryCount()});
  Print("parse-ms", parseMs);
  Print("compile-ms", compileMs);
  Print("index-ms", indexMs);
  Print("drives-scanned", std::uint64_t{scanner.drives().size()});
  std::printf("result: %d\n", codes::ToInt(result));
  Print("directories", static_cast<std::uint64_t>(statistics.scannedDirectories));
  Print("files", static_cast<std::uint64_t>(statistics.scannedFiles));
  Print("streams", static_cast<std::uint64_t>(statistics.scannedStreams));
  Print("infected", static_cast<std::uint64_t>(statistics.infectedFiles));
  Print("kilobytes", statistics.fileScanKilobytes);
  Print("scanner-ms", statistics.fileScanTime);
  Print("scan-ms", scanMs);

  if (profile) {
    double platformMs = 0;
    std::uint64_t timedCalls = 0;
    for (std::size_t i = 0; i < kPhaseCount; ++i) {
      std::printf("profile-%s: %.1f ms, %llu calls\n", kPhaseNames[i], times.milliseconds[i],
                  static_cast<unsigned long long>(times.calls[i]));
      platformMs += times.milliseconds[i];
      timedCalls += times.calls[i];
    }
    // What the timing itself cost: two clock readings per timed call.
    constexpr int kClockReadings = 100000;
    start = Clock::now();
    for (int i = 0; i < kClockReadings; ++i) static_cast<void>(Clock::now());
    const double clockMs = MillisecondsSince(start) / kClockReadings;
    Print("profile-platform-ms", platformMs);
    Print("profile-timing-overhead-ms", 2 * clockMs * static_cast<double>(timedCalls));
    Print("profile-rest-ms", scanMs - platformMs);
    // The search alone, over the same pieces from memory.
    std::uint64_t matches = 0;
    times.pieceStarts.push_back(times.regionBytesUsed);
    start = Clock::now();
    for (std::size_t i = 0; i + 1 < times.pieceStarts.size(); ++i) {
      const std::span<const std::uint8_t> piece(times.regionBytes.data() + times.pieceStarts[i],
                                                times.pieceStarts[i + 1] - times.pieceStarts[i]);
      std::size_t offset = 0;
      if (signatures::FindFileSignature(context.signatureIndex(), piece, offset) != nullptr) {
        ++matches;
      }
    }
    Print("profile-search-ms", MillisecondsSince(start));
    Print("profile-search-pieces", std::uint64_t{times.pieceStarts.size() - 1});
    Print("profile-search-bytes", std::uint64_t{times.regionBytesUsed});
    if (times.regionBytesFull) std::printf("profile-search-note: not every piece was kept\n");
    Print("profile-search-matches", matches);
  }
  for (const std::u16string& path : found) std::printf("found: %s\n", text::ToUtf8(path).c_str());
  std::fflush(stdout);
  return 0;
}

// --- The floor (--floor) ---

// Every file below `folder` (a path ending without a backslash).
void ListFiles(platform::Files& files, const std::u16string& folder,
               std::vector<std::u16string>& out) {
  const auto first = files.FindFirstFileWide(folder + u"\\*");
  if (!first) return;
  std::optional<platform::FindData> entry = first->data;
  for (; entry; entry = files.FindNextFileWide(first->search)) {
    if (entry->name == u"." || entry->name == u"..") continue;
    const std::u16string path = folder + u"\\" + entry->name;
    if (entry->attributes & platform::kFileAttributeDirectory) {
      ListFiles(files, path, out);
    } else {
      out.push_back(path);
    }
  }
  files.FindClose(first->search);
}

// What the least file scan must do per file, with nothing else: open it,
// read its first 4096 bytes, close it; on 1 to 4 threads that share the
// list, three times each. Prints "floor-ms-Nthreads: fastest of three".
int Floor(const std::u16string& drive) {
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  platform::Files& files = system->files();
  std::vector<std::u16string> paths;
  ListFiles(files, drive, paths);
  Print("floor-files", std::uint64_t{paths.size()});
  for (int threads = 1; threads <= 4; ++threads) {
    double fastest = 0;
    for (int round = 0; round < 3; ++round) {
      std::atomic<std::size_t> next{0};
      const auto start = std::chrono::steady_clock::now();
      auto work = [&] {
        std::array<std::uint8_t, 4096> head{};
        for (std::size_t i = next++; i < paths.size(); i = next++) {
          const platform::FileOpenResult opened =
              files.CreateFileWide(paths[i], platform::kGenericRead,
                                   platform::kFileShareRead | platform::kFileShareWrite,
                                   platform::kOpenExisting, platform::kFileAttributeNormal);
          if (opened.handle == 0) continue;
          files.ReadFile(opened.handle, head);
          system->runtime().CloseHandle(opened.handle);
        }
      };
      std::vector<std::thread> others;
      for (int t = 1; t < threads; ++t) others.emplace_back(work);
      work();
      for (std::thread& other : others) other.join();
      const double ms = MillisecondsSince(start);
      fastest = round == 0 ? ms : std::min(fastest, ms);
    }
    Print(("floor-ms-" + std::to_string(threads) + "threads").c_str(), fastest);
  }
  std::fflush(stdout);
  return 0;
}

std::u16string FromArgument(const wchar_t* argument) {
  std::u16string text;
  for (; *argument != L'\0'; ++argument) text.push_back(static_cast<char16_t>(*argument));
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(FromArgument(argv[i]));
  if (arguments.size() == 2 && arguments.front() == u"--floor") return Floor(arguments[1]);
  bool profile = false;
  if (!arguments.empty() && arguments.front() == u"--profile") {
    profile = true;
    arguments.erase(arguments.begin());
  }
  if (arguments.size() != 2) {
    std::fprintf(stderr,
                 "usage: file_scan_bench.exe [--profile] DRIVE SCRIPT\n"
                 "       file_scan_bench.exe --floor DRIVE\n");
    return 1;
  }
  return Run(arguments[0], arguments[1], profile);
}
