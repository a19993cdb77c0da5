// Infections by the file infector W32/Stanit, forged onto test executables:
// the virus body at the new entry point, starting with the stub that holds
// the host's entry point, and carrying the virus's signature. Nothing built
// here runs: the body is no code.
#pragma once

#include <cstdint>
#include <vector>

namespace qrt_test {

// Where the signature lies in the body.
inline constexpr std::size_t kStanitSignatureAt = 0x40;

// The 3666 bytes of the body: the stub 52 60 B9, the host's entry point
// (little-endian), E8, then filler bytes with the forged signature at
// kStanitSignatureAt.
std::vector<std::uint8_t> StanitBody(std::uint32_t hostEntryPoint);

// Infects the PE file `file` as the virus does: writes the body at the file
// offset of the relative address `bodyAddress` and points the entry point
// there. False, with the file unchanged, when that address lies in no
// section whose raw data holds the whole body.
bool InfectWithStanit(std::vector<std::uint8_t>& file, std::uint32_t bodyAddress);

}  // namespace qrt_test
