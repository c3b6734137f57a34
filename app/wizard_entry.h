// Starts the wizard: the wx application whose start-up runs the pages. Called by
// main() when Kestrin1 runs without arguments; returns the process exit code.
#pragma once

int RunWizard(int argc, char** argv);
