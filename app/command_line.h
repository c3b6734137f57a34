// The command-line mode of Kestrin1: the same conversion as the wizard, driven
// by arguments, with a progress display on the terminal.
#pragma once

#include <string>
#include <vector>

namespace talvoro::app {

// Runs the mode with `args` (without the program name) and returns the exit
// status (see command_line_options.h).
int RunCommandLine(const std::vector<std::string>& args);

}  // namespace talvoro::app
