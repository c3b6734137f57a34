#include "app/converter_app.h"

#include <cstdlib>

#include <wx/image.h>

#include "app/compact_controls.h"
#include "app/page_chain.h"
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
  wxApp::SetInstance(new talvoro::app::CConverterApp());
  return wxEntry(argc, argv);
}
