// The scanners: the memory scanner and the file scanner. The scan run executes
// them one after another on its worker thread, by phase.
#pragma once

#include <forward_list>
#include <string>

#include "common/codes.h"
#include "scan/scan_context.h"

namespace scan {

// The drive list of the command line: drive letters with a colon ("C:"), in
// command line order. Empty: all fixed drives.
using DriveNameList = std::forward_list<std::u16string>;

class Scanner {
 public:
  virtual ~Scanner() = default;
  // The phase in which the scan run executes the scanner: the memory scanner
  // answers 2, the file scanner 1. Phases run in the order 0, 2, 1; a scanner
  // of any other phase is never run.
  virtual int Phase() const = 0;
  // Runs the scan over `context` (the file scanner reads `drives`).
  virtual codes::ScanResult Run(ScanContext& context, const DriveNameList& drives) = 0;
};

}  // namespace scan
