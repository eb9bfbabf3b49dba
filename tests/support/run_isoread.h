// Runs the built isoread binary as a user does: arguments, a text on
// standard input, and what it printed on standard output and error.
#pragma once

#include <string>
#include <vector>

namespace zbtest {

struct ProgramOutcome {
  int status = -1;  // exit status, or -1 when the program did not exit
  std::string out, err;
};

ProgramOutcome run_isoread(const std::vector<std::string> &args, const std::string &stdin_text);

}  // namespace zbtest
