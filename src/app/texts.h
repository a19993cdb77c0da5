// Numbers of the string table entries that the application shell uses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace app {

inline constexpr std::uint32_t kStrTitleLine = 1;
inline constexpr std::uint32_t kStrHint = 2;
inline constexpr std::uint32_t kStrVersionLine = 3;
inline constexpr std::uint32_t kStrLineBreak = 4;
inline constexpr std::uint32_t kStrListHeading = 5;
inline constexpr std::uint32_t kStrHostLine = 17;
inline constexpr std::uint32_t kStrStartButton = 28;
inline constexpr std::uint32_t kStrStopButton = 32;
inline constexpr std::uint32_t kStrWindowTitle = 52;
inline constexpr std::uint32_t kStrExitButton = 57;
inline constexpr std::uint32_t kStrScanningGroup = 58;
inline constexpr std::uint32_t kStrAlreadyRunning = 91;
inline constexpr std::uint32_t kStrErrorCaption = 92;

// The report's lines, in the order they are written.
inline constexpr std::uint32_t kStrReportHeading = 37;
inline constexpr std::uint32_t kStrScannedDirectories = 38;
inline constexpr std::uint32_t kStrScannedFiles = 39;
inline constexpr std::uint32_t kStrScannedStreams = 40;
inline constexpr std::uint32_t kStrScannedProcesses = 41;
inline constexpr std::uint32_t kStrScannedModules = 42;
inline constexpr std::uint32_t kStrInfectedFiles = 43;
inline constexpr std::uint32_t kStrInfectedProcesses = 44;
inline constexpr std::uint32_t kStrRemovedFiles = 45;
inline constexpr std::uint32_t kStrRenamedFiles = 171;
inline constexpr std::uint32_t kStrTerminatedProcesses = 46;
inline constexpr std::uint32_t kStrMemoryScanTime = 47;
inline constexpr std::uint32_t kStrMemoryThroughput = 49;
inline constexpr std::uint32_t kStrFileScanTime = 48;
inline constexpr std::uint32_t kStrFileThroughput = 50;
inline constexpr std::uint32_t kStrThankYou = 51;

// The result line of a scan that found and removed malware; the lines of
// the codes -1 to -11 follow from string 77 on.
inline constexpr std::uint32_t kStrMalwareRemoved = 66;
inline constexpr std::uint32_t kStrFirstAbortLine = 77;

// The English month abbreviations of the build date: January, then February
// to December.
inline constexpr std::uint32_t kStrJanuary = 90;
inline constexpr std::uint32_t kStrFebruary = 93;

// The text of string `id`, or an empty text when it cannot be loaded.
std::u16string LoadText(platform::System& system, std::uint32_t id);

}  // namespace app
