#include "standin_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace talvoro::test {
namespace {

bool Accepts(const std::string& address, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

StandinProcess::StandinProcess() : StandinProcess(Options{}) {}

StandinProcess::StandinProcess(Options options) : dir_("talvoro-standin") {
  dataDir_ = dir_.File("data");
  std::filesystem::create_directories(dataDir_);
  if (!std::filesystem::exists(options.executable))
    throw std::runtime_error("sqlstandin not built: " + options.executable);

  address_ = options.listen;
  std::vector<std::string> args = {options.executable, "--data", dataDir_, "--port", "0",
                                   "--listen", options.listen};
  if (!options.instance.empty()) {
    args.push_back("--instance");
    args.push_back(options.instance);
  }
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
  for (const auto& [name, password] : options.logins) {
    args.push_back("--login");
    args.push_back(name + ":" + password);
  }
  if (!options.keytab.empty()) {
    args.push_back("--keytab");
    args.push_back(options.keytab);
  }
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The server prints "sqlstandin listening on ADDRESS:PORT" once it listens.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.find("listening") == std::string::npos || colon == std::string::npos) {
    Stop();
    throw std::runtime_error("sqlstandin did not start: " + line);
  }
  port_ = std::atoi(line.c_str() + colon + 1);
  while (!Accepts(address_, port_)) {
    if (std::chrono::steady_clock::now() > deadline) {
      Stop();
      throw std::runtime_error("sqlstandin does not accept connections");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

StandinProcess::~StandinProcess() { Stop(); }

bool StandinProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void StandinProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string StandinProcess::ConnectString(const std::string& database, const std::string& user,
                                          const std::string& password) const {
  return "DRIVER={SQL Server};SERVER=" + address_ + ";PORT=" + std::to_string(port_) + ";DATABASE=" + database +
         ";UID=" + user + ";PWD=" + password + ";ClientCharset=UTF-8";
}

}  // namespace talvoro::test
