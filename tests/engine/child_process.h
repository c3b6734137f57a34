// A program run in the background for a test that acts on it while it runs
// (pauses its server, kills it): output goes to files, waits have a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvoro::test {

class ChildProcess {
 public:
  // Starts argv[0] (a path) with stdout and stderr sent to `outPath` and `errPath`.
  // With `fileSizeLimit`, the program may not write any file past that many bytes
  // (RLIMIT_FSIZE; a write past it fails with EFBIG, as on a full disk).
  ChildProcess(const std::vector<std::string>& argv, const std::string& outPath,
               const std::string& errPath, std::optional<std::uint64_t> fileSizeLimit = std::nullopt);
  ~ChildProcess();  // kills the program if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The exit status once the program ended by itself, -1 when a signal ended it,
  // or nullopt when it still ran at the deadline (it is left running).
  std::optional<int> WaitFor(std::chrono::milliseconds limit);
  void Kill(int signal);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace talvoro::test
