// Kestrin1: with arguments the command-line conversion, without them the wizard.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "command_line_options.h"

#ifdef TALVORO_HAVE_WIZARD
#include "wizard_entry.h"
#endif

int main(int argc, char** argv) {
  if (argc > 1) {
    return talvoro::app::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  }
#ifdef TALVORO_HAVE_WIZARD
  return RunWizard(argc, argv);
#else
  std::cerr << "Kestrin1: the wizard is not part of this build; use the command-line mode.\n\n"
            << talvoro::app::UsageText();
  return talvoro::app::kExitUsageOrLogon;
#endif
}
