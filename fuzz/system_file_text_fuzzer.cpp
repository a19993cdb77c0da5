// libFuzzer target: the rewrites of WININIT.INI and the hosts file on
// arbitrary old bytes. The input is read as: one byte n, then n % 64 bytes
// of a name (a host name, or the line for WININIT.INI), then the old text.
// It aborts when
//  - the WININIT.INI text does not hold "[rename]\r\n" and the line, or its
//    length is not the old one plus the line and a line end, plus at most a
//    new header and two more line ends;
//  - a restored hosts text does not end with the localhost entry, or still
//    has an entry that another removal by any name would disable (other than
//    the appended localhost line);
//  - removing a name from hosts twice disables something the second time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "removal/system_file_text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsLocalhostWord(std::string_view word) {
  const auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
  };
  return lower(word) == "127.0.0.1" || lower(word) == "localhost";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nameLength = std::min<std::size_t>(input[0] % 64, size - 1);
  const std::string_view name = input.substr(1, nameLength);
  const std::string_view old = input.substr(1 + nameLength);

  const std::string wininit = removal::WithRenameLine(old, name);
  Check(wininit.find("[rename]\r\n" + std::string(name)) != std::string::npos);
  const std::size_t least = old.size() + 2 + name.size();
  Check(wininit.size() >= least && wininit.size() <= least + 8 + 4);

  const std::string restored = removal::RestoredHosts(old);
  Check(restored.ends_with("\r\n127.0.0.1\t\tlocalhost\r\n"));
  if (!IsLocalhostWord(name)) Check(!removal::HostsWithout(restored, name));

  if (const auto without = removal::HostsWithout(old, name)) {
    Check(!removal::HostsWithout(*without, name));
  }
  return 0;
}
