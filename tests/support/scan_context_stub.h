// A scan context for scanner tests: the scanners run over a system context
// of the test's choosing, with a signature index built from the test's own
// handlers, an observer that records what it is shown, and a stop request
// that a test can set at once or after a number of polls.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "scan/malware_handler.h"
#include "scan/scan_context.h"
#include "signatures/signature.h"
#include "tests/support/removal_operations_stub.h"

namespace qrt_test {

// Records everything a scan shows.
class RecordingObserver final : public scan::ScanObserver {
 public:
  void SetProgressText(std::u16string_view text) override { statusTexts.emplace_back(text); }
  void ReportFinding(std::u16string_view heading,
                     std::optional<std::u16string_view> text) override {
    output += heading;
    if (text) output += *text;
    transcript.append(u"[").append(heading).append(u"]");
    if (text) transcript += *text;
  }
  void AppendText(std::u16string_view text) override {
    output += text;
    transcript += text;
  }
  void SetStatusText(std::u16string_view text) override { statusTexts.emplace_back(text); }
  void ScanFinished(codes::ScanResult result) override { finished.push_back(result); }

  // The transcript so far as lines, each ended by CR LF (a last one
  // without), in UTF-8; the transcript is cleared.
  std::vector<std::string> TakeLines() {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = transcript.find(u"\r\n", start)) != std::u16string::npos;
         start = end + 2) {
      lines.push_back(text::ToUtf8(std::u16string_view(transcript).substr(start, end - start)));
    }
    if (start < transcript.size()) lines.push_back(text::ToUtf8(transcript.substr(start)));
    transcript.clear();
    return lines;
  }

  std::u16string output;
  // The same text with each heading in brackets ("[Name] was found ...").
  std::u16string transcript;
  std::vector<std::u16string> statusTexts;
  std::vector<codes::ScanResult> finished;
};

// One Remove call as a handler received it: the fields of its finding's
// kind are set, the others keep their defaults.
struct RemoveCall {
  std::optional<std::u16string> infectedFile;
  std::uint32_t processId = 0;
  scan::FindingKind kind = scan::FindingKind::FileFinding;
  bool more = false;
  std::vector<scan::ProcessRecord> processes;
  scan::PeFileHeaders headers;
};

// A handler with the signatures given that records its Remove calls; it
// stands for a built-in handler, or for a script-described one when
// `scriptDescribed` is set.
class RecordingHandler final : public scan::MalwareHandler {
 public:
  RecordingHandler(std::u16string name, const signatures::SignaturePair& signatures)
      : MalwareHandler(signatures), name_(std::move(name)) {}
  std::u16string_view BaseName() const override { return name_; }
  std::u16string_view VariantName() const override { return u"T"; }
  bool IsScriptDescribed() const override { return scriptDescribed; }
  void Remove(scan::ScanContext&, const scan::Finding& finding) override {
    RemoveCall call;
    call.kind = scan::KindOf(finding);
    if (const auto* file = std::get_if<scan::FileFinding>(&finding)) {
      call.infectedFile = std::u16string(file->path);
      call.headers = file->headers;
    } else if (const auto* process = std::get_if<scan::ProcessFinding>(&finding)) {
      call.infectedFile = std::u16string(process->modulePath);
      call.processId = process->processId;
      call.more = process->more;
    } else {
      const auto& processes = std::get<scan::ScriptFinding>(finding).processes;
      call.processes.assign(processes.begin(), processes.end());
    }
    if (onRemove) onRemove();
    if (journal != nullptr) {
      journal->push_back(name_ + u" " + call.infectedFile.value_or(u""));
    }
    calls.push_back(std::move(call));
  }
  std::vector<RemoveCall> calls;
  // What IsScriptDescribed answers (a built-in handler by default).
  bool scriptDescribed = false;
  // Called during every Remove.
  std::function<void()> onRemove;
  // When set, every call of every handler sharing it is added in order as
  // "name path".
  std::vector<std::u16string>* journal = nullptr;

 private:
  std::u16string name_;
};

class ScanContextStub final : public scan::ScanContext {
 public:
  // The index is built from `handlers` in their order; they must outlive
  // the context.
  ScanContextStub(sys::SystemContext& systemContext,
                  const std::vector<scan::MalwareHandler*>& handlers)
      : systemContext_(systemContext),
        index_(signatures::BuildSignatureIndex(scan::SignatureOwnersOf(handlers))) {}

  bool stopRequested() const override {
    if (stopAfterPolls) {
      if (*stopAfterPolls == 0) return true;
      --*stopAfterPolls;
      return false;
    }
    return stop;
  }
  scan::ScanObserver& observer() override { return observer_; }
  scan::ScanStatistics& statistics() override { return statistics_; }
  const signatures::SignatureIndex& signatureIndex() const override { return index_; }
  bool lacksMemorySignature() const override { return lacksMemory; }
  sys::SystemContext& systemContext() override { return systemContext_; }
  std::atomic<bool>& rebootRequired() override { return rebootRequired_; }
  scan::RemovalOperations& removalOperations() override { return operations; }

  RecordingObserver& recorder() { return observer_; }
  const scan::ScanStatistics& stats() const { return statistics_; }

  // The stop request; with stopAfterPolls set it answers false that many
  // times and true from then on.
  bool stop = false;
  mutable std::optional<int> stopAfterPolls;
  bool lacksMemory = false;
  // The removal operations the handlers call: recorded, not carried out.
  RecordingRemovalOperations operations;

 private:
  sys::SystemContext& systemContext_;
  signatures::SignatureIndex index_;
  RecordingObserver observer_;
  scan::ScanStatistics statistics_;
  std::atomic<bool> rebootRequired_{false};
};

}  // namespace qrt_test
