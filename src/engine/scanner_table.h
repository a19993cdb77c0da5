// The scanner table: the program's scanners in the order the scan run meets
// them within a phase (the memory scanner, then the file scanner), with the
// system context they scan with. Made once at start, after the built-in
// handler table and before the application; making it creates the system
// context over the platform it is given.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "detect/file_scanner.h"
#include "detect/memory_scanner.h"
#include "platform/system.h"
#include "scan/scanner.h"
#include "system/system_context.h"

namespace engine {

class ScannerTable {
 public:
  // Creates the system context (the version query, the bound functions, on
  // NT 4 the program's PSAPI.DLL), then the scanners: the memory scanner,
  // then the file scanner.
  explicit ScannerTable(platform::System& system) : systemContext_(system) {
    scanners_.push_back(std::make_unique<detect::MemoryScanner>(systemContext_));
    scanners_.push_back(std::make_unique<detect::FileScanner>(systemContext_));
  }
  // For tests: the system context, then the scanners that `make` gives for
  // it, in table order.
  using ScannerFactory =
      std::function<std::vector<std::unique_ptr<scan::Scanner>>(sys::SystemContext&)>;
  ScannerTable(platform::System& system, const ScannerFactory& make) : systemContext_(system) {
    scanners_ = make(systemContext_);
  }
  ScannerTable(const ScannerTable&) = delete;
  ScannerTable& operator=(const ScannerTable&) = delete;

  sys::SystemContext& systemContext() { return systemContext_; }
  const std::vector<std::unique_ptr<scan::Scanner>>& scanners() const { return scanners_; }

 private:
  // Destroyed last: the scanners may hold what it bound.
  sys::SystemContext systemContext_;
  std::vector<std::unique_ptr<scan::Scanner>> scanners_;
};

}  // namespace engine
