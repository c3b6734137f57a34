// CPU seconds used by a process, for benchmark figures that hold still when
// other processes share the machine.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace bench {

// User and system CPU seconds process `pid` has used so far (from /proc).
inline double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int i = 1; i <= 13 && in >> field; ++i) {
  }
  unsigned long long user = 0, system = 0;
  in >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// User and system CPU seconds of this process so far.
inline double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
