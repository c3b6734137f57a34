#include "command_line_password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "command_line_options.h"

namespace talvoro::app {

std::optional<std::string> ObtainPassword(const std::string& loginName) {
  if (const char* fromEnvironment = std::getenv(kPasswordVariable)) return std::string(fromEnvironment);

  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return std::nullopt;
  std::string prompt = "Password for " + loginName + ": ";
  (void)!write(tty, prompt.data(), prompt.size());

  termios saved{};
  bool restore = tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::string password;
  bool ended = false;
  char c;
  while (read(tty, &c, 1) == 1) {
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    password.push_back(c);
  }
  if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  close(tty);
  if (!ended && password.empty()) return std::nullopt;
  return password;
}

}  // namespace talvoro::app
