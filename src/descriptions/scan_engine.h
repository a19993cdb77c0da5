// The scan engine as the scanners, the removal operations and the handlers
// see it: the few members they use. The application's scan run builds on
// this class and adds the worker thread, the scanners and the settings of
// the command line; the observer and the statistics join here with it.
//
// The engine is set up on the window's thread; during a scan the worker
// reads it, and the window only sets the stop request.
#pragma once

#include <atomic>

#include "descriptions/malware_database.h"
#include "detect/signature_index.h"

namespace descriptions {

class ScanEngine {
 public:
  ScanEngine() = default;
  virtual ~ScanEngine() = default;
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // The user asked the scan to stop; the scanners poll this.
  bool stopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  void ClearStopRequest() { stopRequested_.store(false, std::memory_order_relaxed); }

  MalwareDatabase& database() { return database_; }
  const MalwareDatabase& database() const { return database_; }
  // What the scanners search with, and whether some malware has no memory
  // signature.
  const detect::SignatureIndex& signatureIndex() const { return database_.index(); }
  bool lacksMemorySignature() const { return database_.lacksMemorySignature(); }

 private:
  MalwareDatabase database_;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace descriptions
