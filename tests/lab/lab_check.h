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

// The program's three runs: with its window, the silent rerun, and the
// silent run of its copy infected with W32/Stanit (make-self-infected).
struct LabRunResults {
  RunResult windowed;
  RunResult silent;
  RunResult self;
};

// Registers the tests, runs them with the GoogleTest flags in argv and
// prints the summary. `popups` is the file of the message boxes the first
// run showed, one a line as qrt-auto's message-boxes prints them. 0 when
// every test passed.
int RunCheck(const Lab& lab, const LabRunResults& runs, const std::wstring& popups, int argc,
             wchar_t** argv);

}  // namespace lab
