// The end of a scan in the output view: the result line of the scan's code
// and the statistics report.
#pragma once

#include <optional>
#include <string>

#include "common/codes.h"
#include "platform/system.h"
#include "scan/observer.h"
#include "scan/statistics.h"

namespace app {

// Kilobytes per second; 0 when the time is below one millisecond (a scan
// that did not run, or too short to measure).
double Throughput(double kilobytes, double milliseconds);

// The line that ScanFinished appends first for a scan's result code: the
// string codes::ResultLineString names (for 1 and the codes -1 to -11);
// nothing for 0 and any other code (also when the string is missing).
std::optional<std::u16string> ScanResultLine(platform::System& system, codes::ScanResult result);

// Appends the 16 lines of the report through the observer's AppendText, in
// this order: heading (37); scanned directories (38), files (39), streams
// (40), processes (41), modules (42); infected files (43), processes (44);
// repaired/removed files (45), renamed files (171), terminated processes
// (46); memory scan time (47) and throughput (49); file scan time (48) and
// throughput (50); the closing line (51). Times are shown in seconds and
// throughputs in KB/s, both with two decimals.
void WriteReport(platform::System& system, const scan::ScanStatistics& statistics,
                 scan::ScanObserver& observer);

}  // namespace app
