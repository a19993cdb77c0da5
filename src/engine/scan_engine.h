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
#include <vector>

#include "engine/malware_database.h"
#include "scan/scan_context.h"

namespace engine {

class ScanEngine final : public scan::ScanContext {
 public:
  ScanEngine(sys::SystemContext& systemContext, scan::ScanObserver& observer)
      : systemContext_(systemContext), observer_(observer) {}
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // The database steps of the set-up (MalwareDatabase::SetUp: version check,
  // script, handler list with `builtIns` first), then the signature index.
  void SetUp(platform::System& system,
             std::vector<std::unique_ptr<scan::MalwareHandler>> builtIns) {
    database_.SetUp(system, systemContext_, std::move(builtIns));
    database_.BuildIndex();
  }

  // scan::ScanContext.
  bool stopRequested() const override { return stopRequested_.load(std::memory_order_relaxed); }
  scan::ScanObserver& observer() override { return observer_; }
  scan::ScanStatistics& statistics() override { return statistics_; }
  const signatures::SignatureIndex& signatureIndex() const override { return database_.index(); }
  bool lacksMemorySignature() const override { return database_.lacksMemorySignature(); }
  sys::SystemContext& systemContext() override { return systemContext_; }
  std::atomic<bool>& rebootRequired() override { return rebootRequired_; }
  scan::PeFileHeaders& scannedFileHeaders() override { return scannedFileHeaders_; }

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
  scan::PeFileHeaders scannedFileHeaders_;
};

}  // namespace engine
