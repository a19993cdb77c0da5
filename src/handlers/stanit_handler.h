// The handler of the file infector W32/Stanit. The virus puts its code at
// the entry point of an executable and keeps the host program's own entry
// point in the first bytes of that code. Deleting such files would destroy
// the user's programs, so they are repaired: the entry point is pointed back
// at the host's code and the virus body is overwritten with zeros, unless
// the host's code cannot be told safely, when the file is left as it is. A
// file whose entry point lies at the very start of its first section's data
// and holds the virus's stub there is the virus itself (a dropper) and is
// deleted. A process running the virus
// is ended; its module's file is left to the file scan, which repairs it.
#pragma once

#include <cstdint>
#include <string_view>

#include "handlers/builtin_handler.h"

namespace handlers {

// What RepairStanitFile answers.
enum class StanitRepair : int {
  kRepaired = 0,      // repaired, or the entry code is not the virus (unchanged)
  kFailed = -1,       // a read or write failed, or the file cannot hold what is repaired
  kCannotOpen = -2,   // the file cannot be opened for reading and writing
  kDropper = -3,      // the file is the virus itself; nothing was read or written
  kHostDamaged = -4,  // repaired, but the virus body had overwritten the host's data
  // Nothing written: the stub's host entry point would start no code of the
  // file, or the entry point lies where a dropper's does without the stub.
  kLeftUnchanged = -5,
};

// The layout of an infection.
inline constexpr std::uint64_t kStanitDropperEntryOffset = 0x200;
inline constexpr std::size_t kStanitStubSize = 10;
inline constexpr std::uint64_t kStanitBodySize = 3666;
// Ten bytes that lie one byte after the body: zero when the body sat in
// padding of the host, as the virus places it.
inline constexpr std::uint64_t kStanitCheckWindowDistance = 3667;
inline constexpr std::size_t kStanitCheckWindowSize = 10;
// AddressOfEntryPoint, from the start of the PE headers.
inline constexpr std::uint64_t kEntryPointFieldOffset = 0x28;

// Repairs the executable of a file finding, at its path, with the headers
// the file scanner read from it. Step by step:
//   1. open for reading and writing (else kCannotOpen);
//   2. the entry point's file offset by the section table (0 when it lies
//      in no section);
//   3. the 10 bytes at the entry point (kFailed when fewer can be read); at
//      offset 0x200 the file is a dropper (kDropper) when they are the virus
//      stub (52 60 B9 .. .. .. .. E8) and is left as it is (kLeftUnchanged)
//      when not; elsewhere, unless they are the stub, kRepaired with nothing
//      changed;
//   4. the host's entry point from the stub must lie in the raw data of a
//      section and outside the body (as an address and as a file offset),
//      else kLeftUnchanged: an entry point put there would leave a program
//      that cannot start, worse off than the infected one;
//   5. before anything is written, the file must hold the whole 3666-byte
//      body at the entry point and the entry point field of its PE header,
//      outside the body, holding the finding's entry point: else kFailed
//      with the file untouched (a short file is never extended);
//   6. the host's entry point from the stub is written to the field, then
//      the body is overwritten with zeros, in this order, so that a repair
//      cut short leaves a file that starts its host (kFailed when a write
//      falls short);
//   7. the check window: kHostDamaged when any of its bytes is not zero,
//      kRepaired when all are or the file ends before it.
StanitRepair RepairStanitFile(platform::System& system, const scan::FileFinding& finding);

// Process finding: three warnings, the process ended, reported as removed
// from memory. File finding: "attempting to repair executable ..." and the
// repair's outcome; a repaired file counts as removed, a dropper is deleted.
class StanitHandler final : public BuiltInHandler {
 public:
  // The memory and the file signature are one and the same.
  static constexpr signatures::CompiledSignature kSignature = {
      {0x3F, 0x4D, 0x5A, 0x75, 0xF5}, 0xAD78, 91, 30, 0x3EC25CB7};
  static constexpr signatures::SignaturePair kSignatures = {kSignature, kSignature};

  StanitHandler() : BuiltInHandler(kSignatures, u"W32/Stanit", u"A") {}
  void Remove(scan::ScanContext& context, const scan::Finding& finding) override;
};

}  // namespace handlers
