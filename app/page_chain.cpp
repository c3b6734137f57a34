#include "app/page_chain.h"

#include <optional>

#include <wx/gdicmn.h>

#include "app/shell_actions.h"
#include "pages/connection_dlg.h"
#include "pages/convert_dlg.h"
#include "pages/page_logic.h"

namespace talvoro::app {

using pages::Page;
using pages::PageExit;

namespace {

// Each page opens where the one before it stood; the first is centred.
template <typename PageType>
PageExit ShowPage(std::optional<wxPoint>& position) {
  PageType page;
  if (position) page.Move(*position);
  page.ShowModal();
  position = page.GetPosition();
  return page.exit();
}

}  // namespace

void RunPageChain() {
  pages::PageChain chain;
  std::optional<wxPoint> position;
  while (chain.current() != Page::Closed) {
    const PageExit exit = chain.current() == Page::Connection
                              ? ShowPage<pages::CConnectionDlg>(position)
                              : ShowPage<pages::CConvertDlg>(position);
    if (chain.Advance(exit)) OpenMakerWebPage();
  }
}

}  // namespace talvoro::app
