#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace talvoro::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outPath,
                           const std::string& errPath, std::optional<std::uint64_t> fileSizeLimit) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The child inherits the limit and an ignored SIGXFSZ (whose default would
  // kill it at the first write past the limit); this process gets both back.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  if (fileSizeLimit) {
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit limited = before;
    limited.rlim_cur = static_cast<rlim_t>(*fileSizeLimit);
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  if (fileSizeLimit) {
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &previous, nullptr);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
  if (reaped_) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!reaped_) {
    const pid_t done = waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::Kill(int signal) {
  if (!reaped_) kill(pid_, signal);
}

}  // namespace talvoro::test
