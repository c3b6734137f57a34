#include "app/converter_app.h"

#include <cstdio>
#include <cstdlib>

#include <wx/image.h>
#include <wx/log.h>

#include "app/compact_controls.h"
#include "app/page_chain.h"
#include "app/startup_environment.h"
#include "app/wizard_entry.h"

namespace talvoro::app {

void PrepareWizardToolkit() {
  wxTheApp->SetAppName("Kestrin1");
  wxInitAllImageHandlers();
  ApplyCompactControlMetrics();
}

bool CConverterApp::OnInit() {
  PrepareWizardToolkit();
  return true;
}

int CConverterApp::OnRun() {
  RunPageChain();
  return 0;
}

}  // namespace talvoro::app

int RunWizard(int argc, char** argv) {
  // List boxes show their scroll bar, as the pages were drawn with, unless the
  // user asked otherwise; GTK reads this when it starts.
  setenv("GTK_OVERLAY_SCROLLING", "0", 0);
  talvoro::app::PrepareDesktopSettingsEnvironment();
  wxApp::SetInstance(new talvoro::app::CConverterApp());
  // Start-up failures go to the terminal: without a display there is no window
  // to show them in (the toolkit's own box would abort the process).
  delete wxLog::SetActiveTarget(new wxLogStderr());
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr,
                 "Kestrin1: cannot open the display; the wizard needs a graphical desktop.\n"
                 "Run Kestrin1 with arguments for the command-line mode.\n");
    return 1;
  }
  int code = 1;
  if (wxTheApp->CallOnInit()) {
    code = wxTheApp->OnRun();
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return code;
}
