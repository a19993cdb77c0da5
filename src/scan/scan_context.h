// The scan engine as the scanners and the handlers see it: the stop
// request, the observer, the statistics, the signature index, the system
// context, the reboot flag and the removal operations (made over the same
// system context, statistics and reboot flag). The engine implements it;
// tests implement it over a fake.
//
// The engine is set up on the window's thread before any scan; during a scan
// the worker reads it, and the window only sets the stop request.
#pragma once

#include <atomic>
#include <string_view>

#include "scan/observer.h"
#include "scan/removal_operations.h"
#include "scan/statistics.h"
#include "signatures/signature_index.h"
#include "system/system_context.h"

namespace scan {

class ScanContext {
 public:
  virtual ~ScanContext() = default;

  // Set by the window's Stop or Exit; polled by the scanners.
  virtual bool stopRequested() const = 0;
  virtual ScanObserver& observer() = 0;
  virtual ScanStatistics& statistics() = 0;
  virtual const signatures::SignatureIndex& signatureIndex() const = 0;
  // Some malware is described without a memory signature: the memory
  // scanner then checks the main executables on disk.
  virtual bool lacksMemorySignature() const = 0;
  // What the program knows of the running Windows, and its bound functions.
  virtual sys::SystemContext& systemContext() = 0;
  // A removal was left for the next system start; the exit path then offers
  // a reboot. Written by the worker, read by the window after the worker has
  // ended; it only ever goes from false to true during a run.
  virtual std::atomic<bool>& rebootRequired() = 0;
  // The removal operations that the removal driver and the handlers call.
  virtual RemovalOperations& removalOperations() = 0;

  // The engine's own forwarding to its observer, which the scanners use.
  void AppendText(std::u16string_view text) { observer().AppendText(text); }
  void SetStatusText(std::u16string_view text) { observer().SetStatusText(text); }
};

}  // namespace scan
