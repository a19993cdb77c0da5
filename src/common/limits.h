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

// RemoveFile remembers this many paths that it went on to delete; when all
// are used, each further path takes the place of the first.
inline constexpr std::size_t kHandledFiles = 1024;

// The buffers given to the profile functions, in characters:
// GetPrivateProfileSectionNamesW and GetPrivateProfileSectionW.
inline constexpr std::uint32_t kProfileSectionNamesChars = 32768;
inline constexpr std::uint32_t kProfileSectionChars = 32766;

// The words of a hosts line are read into buffers of this many bytes with
// the terminating zero: a longer word did not fit and matches no name.
inline constexpr std::size_t kHostsWordBytes = 260;

// WININIT.INI and the hosts file are read whole; a larger file counts as
// unreadable, so that a damaged or hostile one cannot exhaust the memory of
// a 32-bit process (each rewrite holds the old and the new text at once).
inline constexpr std::size_t kMaxSystemTextFileBytes = 32u * 1024 * 1024;

}  // namespace limits
