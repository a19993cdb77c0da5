#include "app/host.h"

#include "common/limits.h"
#include "common/string_ids.h"
#include "common/text.h"
#include "scan/texts.h"

namespace app {

HostInfo QueryHost(platform::System& system) {
  HostInfo host;
  const platform::Handle library = system.runtime().LoadLibraryAnsi(kWinsockLibrary);
  if (library == 0) return host;
  const auto getHostByName = system.network().BindGetHostByName(library);
  const auto getHostName = system.network().BindGetHostName(library);
  const auto startup = system.network().BindWsaStartup(library);
  const auto cleanup = system.network().BindWsaCleanup(library);
  if (!getHostByName || !getHostName || !startup || !cleanup) {
    system.runtime().FreeLibraryHandle(library);
    return host;
  }

  const platform::WsaStartupResult first = startup(kFirstWinsockVersion);
  const platform::WsaStartupResult second = startup(first.highVersion);
  if (second.error == 0) {
    if (auto name = getHostName(limits::kHostNameBufferLength)) host.name = std::move(*name);
    const auto addresses = getHostByName(host.name);
    // An entry without an address of four bytes leaves 0.0.0.0.
    if (addresses && !addresses->empty() && addresses->front().size() >= host.address.size()) {
      std::copy_n(addresses->front().begin(), host.address.size(), host.address.begin());
    }
  }
  cleanup();
  system.runtime().FreeLibraryHandle(library);
  return host;
}

std::u16string HostLine(platform::System& system, const HostInfo& host) {
  return text::Format(scan::LoadText(system, strings::kHostLine),
                      {system.runtime().AnsiToWide(host.name), host.address[0], host.address[1],
                       host.address[2], host.address[3]});
}

HostInfo WriteHostLine(platform::System& system, OutputView& output) {
  output.MoveCaretToEnd();
  HostInfo host = QueryHost(system);
  const std::u16string lineBreak = scan::LoadText(system, strings::kLineBreak);
  output.Append(lineBreak, kDefaultFormat);
  output.Append(HostLine(system, host), kDefaultFormat);
  output.Append(lineBreak, kDefaultFormat);
  return host;
}

}  // namespace app
