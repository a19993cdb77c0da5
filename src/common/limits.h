// The program's path and buffer limits, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace limits {

// Path buffers hold this many characters, the terminating zero included:
// process names and module paths of the enumeration, the path of the
// program's own PSAPI.DLL, the names of process records.
inline constexpr std::uint32_t kMaxPathChars = 260;

// The longest path that the folder functions may give, in characters: their
// buffers hold kMaxPathChars with the terminating zero. A longer path counts
// as a failure.
inline constexpr std::size_t kMaxFolderPath = kMaxPathChars - 1;

// Registry listings and reads of the removal operations: names in buffers
// of this many characters (the terminating zero included), data in buffers
// of this many bytes. Data that does not fit counts as matching nothing;
// string data is read as at most kRegistryDataBytes / 2 characters.
inline constexpr std::uint32_t kRegistryNameChars = 260;
inline constexpr std::uint32_t kRegistryDataBytes = 260;

// Texts of findings and appended lines pass through a buffer of this many
// characters, the terminating zero included: a longer text is cut after 599
// characters, and a text ends at a zero character.
inline constexpr std::size_t kTextBufferLength = 600;

// The buffer given to gethostname, in bytes.
inline constexpr int kHostNameBufferLength = 299;

// User names have up to 256 characters (UNLEN): GetUserNameW is given a
// buffer of 257 with the terminating zero.
inline constexpr std::uint32_t kUserNameBufferChars = 257;

// The log file is written in pieces of this many characters.
inline constexpr std::size_t kLogPieceLength = 255;

// EnumProcesses fills an array of 4096 bytes: up to 1024 process ids.
inline constexpr std::uint32_t kProcessIdArrayBytes = 4096;

// EnumProcessModules fills an array of up to 1024 module handles (4096 bytes
// in the 32-bit program; the 64-bit build keeps the count, 8192 bytes).
inline constexpr std::uint32_t kMaxModuleHandles = 1024;

}  // namespace limits
