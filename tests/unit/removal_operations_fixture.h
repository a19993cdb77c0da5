// The real removal operations over the fake Windows, as the removal driver
// and the built-in handlers call them: a system context made over the fake
// (after a test has set its version) and a scan context with statistics.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/fake/fake_system.h"
#include "removal/system_operations.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"

namespace qrt_test {

class RemovalOperationsTest : public ::testing::Test {
 protected:
  // The scan context, made over the system as it is at the first call.
  scan::ScanContext& Context() {
    if (scan_ == nullptr) {
      context_ = std::make_unique<sys::SystemContext>(system);
      scan_ = std::make_unique<ScanContextStub>(*context_, std::vector<scan::MalwareHandler*>{});
    }
    return *scan_;
  }
  const scan::ScanStatistics& Stats() { return Context().statistics(); }
  // The real operations over the scan context's system context, statistics
  // and reboot flag.
  removal::SystemRemovalOperations& Operations() {
    if (operations_ == nullptr) {
      scan::ScanContext& context = Context();
      operations_ = std::make_unique<removal::SystemRemovalOperations>(
          context.systemContext(), context.statistics(), context.rebootRequired());
    }
    return *operations_;
  }

  platform::fake::FakeSystem system;

 private:
  std::unique_ptr<sys::SystemContext> context_;
  std::unique_ptr<ScanContextStub> scan_;
  std::unique_ptr<removal::SystemRemovalOperations> operations_;
};

}  // namespace qrt_test
