// script-check on Windows: runs on the real system and its folders.
#include <iostream>

#include "common/text.h"
#include "platform/win32/win32_system.h"
#include "script_check.h"

int wmain(int argc, wchar_t** argv) {
  const auto system = platform::win32::CreateSystem();
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  const int status = script_check::Run(*system, args, std::cout, std::cerr);
  return status;
}
