#include "tests/support/stanit_samples.h"

#include <algorithm>

#include "handlers/stanit_handler.h"
#include "tests/support/pe_samples.h"
#include "tests/support/signature_samples.h"

namespace qrt_test {

std::vector<std::uint8_t> StanitBody(std::uint32_t hostEntryPoint) {
  std::vector<std::uint8_t> body(handlers::kStanitBodySize, 0xA5);
  const std::uint8_t stub[] = {0x52,
                               0x60,
                               0xB9,
                               static_cast<std::uint8_t>(hostEntryPoint),
                               static_cast<std::uint8_t>(hostEntryPoint >> 8),
                               static_cast<std::uint8_t>(hostEntryPoint >> 16),
                               static_cast<std::uint8_t>(hostEntryPoint >> 24),
                               0xE8,
                               0x00,
                               0x00};
  std::copy(std::begin(stub), std::end(stub), body.begin());
  const auto signature = ForgeSignature(handlers::StanitHandler::kSignature, 0xA5);
  std::copy(signature->begin(), signature->end(),
            body.begin() + static_cast<std::ptrdiff_t>(kStanitSignatureAt));
  return body;
}

bool InfectWithStanit(std::vector<std::uint8_t>& file, std::uint32_t bodyAddress) {
  const scan::PeFileHeaders headers = HeadersOf(file);
  for (const scan::SectionHeader& section : headers.sections) {
    const std::uint64_t start = section.VirtualAddress();
    if (bodyAddress < start || bodyAddress >= start + section.SizeOfRawData()) continue;
    const std::uint64_t offset = section.PointerToRawData() + (bodyAddress - start);
    const std::uint64_t rawEnd =
        std::uint64_t{section.PointerToRawData()} + section.SizeOfRawData();
    if (offset + handlers::kStanitBodySize > std::min<std::uint64_t>(rawEnd, file.size())) {
      return false;
    }
    const std::vector<std::uint8_t> body = StanitBody(headers.AddressOfEntryPoint());
    std::copy(body.begin(), body.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    const std::uint64_t field = headers.PeHeaderOffset() + handlers::kEntryPointFieldOffset;
    for (int i = 0; i < 4; ++i)
      file.at(field + i) = static_cast<std::uint8_t>(bodyAddress >> (8 * i));
    return true;
  }
  return false;
}

}  // namespace qrt_test
