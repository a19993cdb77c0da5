// script-check on Linux: runs on the fake Windows with its Windows XP layout
// (see platform/fake/fake_folders.h).
#include <iostream>

#include "common/text.h"
#include "platform/fake/fake_system.h"
#include "script_check.h"

int main(int argc, char** argv) {
  platform::fake::FakeSystem system;
  platform::fake::SetUpWindowsXp(system);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(text::FromUtf8(argv[i]));
  const int status = script_check::Run(system, args, std::cout, std::cerr);
  return status;
}
