#include "app/url_opener.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <thread>

extern char** environ;

namespace talvoro::app {

bool StartBrowser(const std::string& url, std::chrono::milliseconds wait) {
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return true;  // reaped elsewhere: nothing says it failed
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Still running: a browser in the foreground. The child is reaped when it ends
  // by a later call or stays until the program exits.
  return true;
}

namespace {

// "%20" and the like back to their characters, as in a file:// URL's path.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string ManualOpenMessage(const std::string& url) {
  constexpr char kFileScheme[] = "file://";
  const bool file = url.rfind(kFileScheme, 0) == 0;
  const std::string where = file ? PercentDecoded(url.substr(sizeof kFileScheme - 1)) : url;
  return std::string("No web browser could be started on this computer.\n\nPlease open this ") +
         (file ? "file" : "address") + " in a browser by hand:\n" + where;
}

}  // namespace talvoro::app
