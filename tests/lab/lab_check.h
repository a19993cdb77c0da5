// The infection lab's check: a GoogleTest run over the prefix's state after
// the program's two runs, then the summary table of the planted items.
#pragma once

#include <string>

#include "lab_plan.h"

namespace lab {

struct RunResult {
  std::wstring log;  // the log file's path
  int status = -1;   // the exit status as the shell saw it (low 8 bits)
};

// Registers the tests, runs them with the GoogleTest flags in argv and
// prints the summary. `popups` is the file of the message boxes the first
// run showed, one a line as qrt-auto's message-boxes prints them. 0 when
// every test passed.
int RunCheck(const Lab& lab, const RunResult& windowed, const RunResult& silent,
             const std::wstring& popups, int argc, wchar_t** argv);

}  // namespace lab
