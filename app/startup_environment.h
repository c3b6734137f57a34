// Settings of the process environment the wizard makes before the toolkit starts.
// Plain decisions, so they are tested without a display.
#pragma once

#include <string>

namespace talvoro::app {

// GTK's file choosers read desktop settings through GSettings, whose default
// backend (dconf) needs a session bus; without one, every chooser prints a score
// of dconf warnings and remembers nothing anyway. The in-memory backend is used
// then, unless the user chose a backend (GSETTINGS_BACKEND) or a bus is reachable
// (DBUS_SESSION_BUS_ADDRESS, or the bus socket under XDG_RUNTIME_DIR).
bool UseMemorySettingsBackend(const char* gsettingsBackend, const char* sessionBusAddress,
                              bool runtimeBusSocketExists);

// Applies the decision above to this process's environment; call before GTK
// initialises.
void PrepareDesktopSettingsEnvironment();

}  // namespace talvoro::app
