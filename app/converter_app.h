// The application object: no main window of its own; its run is the page chain.
#pragma once

#include <wx/app.h>

namespace talvoro::app {

class CConverterApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;
};

// Settings every wizard process applies before its first window: the program's
// name (the caption of its message boxes), image handlers and compact control
// metrics so the native controls fit the page's fixed layout.
void PrepareWizardToolkit();

}  // namespace talvoro::app
