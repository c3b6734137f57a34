#include "app/page_chain.h"

#include "app/shell_actions.h"
#include "pages/connection_dlg.h"
#include "pages/convert_dlg.h"
#include "pages/page_logic.h"

namespace talvoro::app {

using pages::Page;
using pages::PageExit;

void RunPageChain() {
  pages::PageChain chain;
  while (chain.current() != Page::Closed) {
    PageExit exit = PageExit::Cancel;
    if (chain.current() == Page::Connection) {
      pages::CConnectionDlg page;
      page.ShowModal();
      exit = page.exit();
    } else {
      pages::CConvertDlg page;
      page.ShowModal();
      exit = page.exit();
    }
    if (chain.Advance(exit)) OpenMakerWebPage();
  }
}

}  // namespace talvoro::app
