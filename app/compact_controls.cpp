#include "app/compact_controls.h"

#include <dlfcn.h>

#include <cstring>

namespace talvoro::app {
namespace {

// Looked up at run time in the GTK library the toolkit already loaded, so the
// build needs no GTK development headers.
using CssProviderNew = void* (*)();
using CssProviderLoad = int (*)(void*, const char*, long, void**);
using ScreenGetDefault = void* (*)();
using AddProviderForScreen = void (*)(void*, void*, unsigned);

constexpr unsigned kPriorityApplication = 600;

constexpr char kStyle[] =
    "entry { min-height: 0; padding-top: 1px; padding-bottom: 1px; padding-left: 3px; "
    "padding-right: 3px; }\n"
    "radiobutton { padding: 0; margin: 0; min-height: 0; min-width: 0; border-width: 0; }\n"
    "radiobutton radio { min-width: 10px; min-height: 10px; margin: 0; padding: 0; }\n"
    "radiobutton label { margin: 0; padding: 0; min-width: 0; }\n"
    "treeview.view { padding-top: 0; padding-bottom: 0; }\n"
    "textview, textview text { padding: 0; }\n"
    "progressbar trough, progressbar progress { min-height: 8px; }\n";

}  // namespace

void ApplyCompactControlMetrics() {
  static bool applied = false;
  if (applied) return;
  auto providerNew = reinterpret_cast<CssProviderNew>(dlsym(RTLD_DEFAULT, "gtk_css_provider_new"));
  auto providerLoad =
      reinterpret_cast<CssProviderLoad>(dlsym(RTLD_DEFAULT, "gtk_css_provider_load_from_data"));
  auto screenDefault =
      reinterpret_cast<ScreenGetDefault>(dlsym(RTLD_DEFAULT, "gdk_screen_get_default"));
  auto addProvider = reinterpret_cast<AddProviderForScreen>(
      dlsym(RTLD_DEFAULT, "gtk_style_context_add_provider_for_screen"));
  if (!providerNew || !providerLoad || !screenDefault || !addProvider) return;
  void* screen = screenDefault();
  if (!screen) return;
  void* provider = providerNew();
  if (!provider) return;
  providerLoad(provider, kStyle, static_cast<long>(std::strlen(kStyle)), nullptr);
  addProvider(screen, provider, kPriorityApplication);
  applied = true;  // the screen keeps the provider for the process's life
}

}  // namespace talvoro::app
