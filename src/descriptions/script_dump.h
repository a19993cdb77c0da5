// A plain-text listing of parsed descriptions, one line per item, used by the
// script-check tool and by tests:
//
//   BLOCK Worm/NetSky.P
//   SIGNATURE_FILE 4D5A...
//   KILL_PROCESS <%infected_processes%>
//   RENAME_FILE directory=<C:\WINDOWS> old_value=<a.exe> new_value=<b.exe>
//
// A block's line "BLOCK base.variant" is followed by "SIGNATURE_MEM hex" and
// then "SIGNATURE_FILE hex" for the signatures it has (as written), then one
// line per action: its name, its named arguments as " name=<VALUE>" in the
// order directory, old_value, new_value, key, value_name, value, data_type,
// data (those present), then its arguments as " <VALUE>".
#pragma once

#include <string>

#include "descriptions/malware_description.h"

namespace descriptions {

// The listing of one description; every line ends with a line feed.
// `afterSignatures` (whole lines) is inserted after the signature lines.
std::u16string DumpDescription(const MalwareDescription& description,
                               std::u16string_view afterSignatures = {});

}  // namespace descriptions
