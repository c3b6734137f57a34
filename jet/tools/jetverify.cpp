// jetverify FILE.mdb...: checks each file with jet::CheckIntegrity and prints one
// line per problem ("FILE: problem"), or "FILE: OK". Exit 0 when every file is
// sound, 1 when a problem was found, 2 when a file cannot be opened or on misuse.
#include <cstdio>
#include <exception>
#include <string>

#include "jet/jet.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: jetverify FILE.mdb...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    try {
      auto problems = jet::CheckIntegrity(argv[i]);
      for (const auto& p : problems) std::printf("%s: %s\n", argv[i], p.c_str());
      if (problems.empty()) std::printf("%s: OK\n", argv[i]);
      if (!problems.empty() && status == 0) status = 1;
    } catch (const std::exception& e) {
      std::printf("%s: cannot be checked: %s\n", argv[i], e.what());
      status = 2;
    }
  }
  return status;
}
