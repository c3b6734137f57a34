#include "app/startup_environment.h"

#include <sys/stat.h>

#include <cstdlib>

namespace talvoro::app {

bool UseMemorySettingsBackend(const char* gsettingsBackend, const char* sessionBusAddress,
                              bool runtimeBusSocketExists) {
  if (gsettingsBackend && *gsettingsBackend) return false;
  if (sessionBusAddress && *sessionBusAddress) return false;
  return !runtimeBusSocketExists;
}

void PrepareDesktopSettingsEnvironment() {
  bool busSocket = false;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    struct stat st{};
    busSocket = ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
  }
  if (UseMemorySettingsBackend(std::getenv("GSETTINGS_BACKEND"),
                               std::getenv("DBUS_SESSION_BUS_ADDRESS"), busSocket))
    setenv("GSETTINGS_BACKEND", "memory", 1);
}

}  // namespace talvoro::app
