// The scan engine of one program run: the malware database (descriptions,
// handler list, signature index), the statistics, the stop request and the
// reboot flag, over the system context and the observer it is given. It is
// the scan context that the scanners, the removal operations and the
// handlers see; the application's scan run drives it.
//
// The engine is set up on the window's thread; during a scan the worker
// reads it, and the window only sets the stop request.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "engine/malware_database.h"
#include "removal/system_operations.h"
#include "scan/scan_context.h"
#include "scan/scanner.h"

namespace engine {

class ScanEngine final : public scan::ScanContext {
 public:
  ScanEngine(sys::SystemContext& systemContext, scan::ScanObserver& observer)
      : systemContext_(systemContext),
        observer_(observer),
        removalOperations_(systemContext_, statistics_, rebootRequired_) {}
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // The database steps of the set-up (MalwareDatabase::SetUp: version check,
  // script, handler list with `builtIns` first), the scanners of the scan
  // run in table order (not owned), the statistics cleared, then the
  // signature index.
  void SetUp(platform::System& system, std::vector<std::unique_ptr<scan::MalwareHandler>> builtIns,
             const std::vector<std::unique_ptr<scan::Scanner>>& scanners = {}) {
    database_.SetUp(system, systemContext_, std::move(builtIns));
    scanners_.clear();
    for (const auto& scanner : scanners) scanners_.push_back(scanner.get());
    statistics_ = scan::ScanStatistics{};
    database_.BuildIndex();
  }

  // What one run of the scanners came to.
  struct RunOutcome {
    // The stop request was met: the answer of the scanner that met it, or
    // kStoppedByUser when the request came after the last scanner.
    std::optional<codes::ScanResult> stopped;
    // The first error a scanner answered (kDone when none did).
    codes::ScanResult firstError = codes::ScanResult::kDone;
  };
  // The scan worker's work: every scanner of phase 0, then 2 (the memory
  // scanner), then 1 (the file scanner, with `drives`), each group in table
  // order; the run ends early when the stop request is set after a scanner.
  // A scanner's error answer without a stop request does not end the run.
  RunOutcome RunScanners(const scan::DriveNameList& drives) {
    RunOutcome outcome;
    const scan::DriveNameList none;
    for (const int phase : {0, 2, 1}) {
      for (scan::Scanner* scanner : scanners_) {
        if (scanner->Phase() != phase) continue;
        const codes::ScanResult result = scanner->Run(*this, phase == 1 ? drives : none);
        if (stopRequested()) {
          outcome.stopped = result;
          return outcome;
        }
        if (codes::ToInt(result) < 0 && outcome.firstError == codes::ScanResult::kDone) {
          outcome.firstError = result;
        }
      }
    }
    if (stopRequested()) outcome.stopped = codes::ScanResult::kStoppedByUser;
    return outcome;
  }

  // scan::ScanContext.
  bool stopRequested() const override { return stopRequested_.load(std::memory_order_relaxed); }
  scan::ScanObserver& observer() override { return observer_; }
  scan::ScanStatistics& statistics() override { return statistics_; }
  const signatures::SignatureIndex& signatureIndex() const override { return database_.index(); }
  bool lacksMemorySignature() const override { return database_.lacksMemorySignature(); }
  sys::SystemContext& systemContext() override { return systemContext_; }
  std::atomic<bool>& rebootRequired() override { return rebootRequired_; }
  scan::RemovalOperations& removalOperations() override { return removalOperations_; }

  // The user asked the scan to stop; the scanners poll this.
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  void ClearStopRequest() { stopRequested_.store(false, std::memory_order_relaxed); }

  MalwareDatabase& database() { return database_; }
  const MalwareDatabase& database() const { return database_; }

 private:
  sys::SystemContext& systemContext_;
  scan::ScanObserver& observer_;
  MalwareDatabase database_;
  scan::ScanStatistics statistics_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> rebootRequired_{false};
  // Lives as long as the engine: the files handled in this run. Made over
  // the members above it.
  removal::SystemRemovalOperations removalOperations_;
  std::vector<scan::Scanner*> scanners_;
};

}  // namespace engine
