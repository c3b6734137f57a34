// Runs a program (no shell) and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace talvoro::test {

struct CommandResult {
  int exitCode = -1;  // -1 when the program could not be started or was killed
  std::string out;
  std::string err;
};

// argv[0] is looked up in PATH. `input` is written to the program's standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = "");

}  // namespace talvoro::test
