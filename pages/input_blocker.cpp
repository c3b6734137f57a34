#include "pages/input_blocker.h"

#include <wx/app.h>
#include <wx/evtloop.h>

namespace talvoro::pages {

namespace {
// Often enough for a smooth status line and progress bar, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kTurnInterval{40};
}  // namespace

InputBlocker::InputBlocker() { wxEvtHandler::AddFilter(this); }

InputBlocker::~InputBlocker() { wxEvtHandler::RemoveFilter(this); }

int InputBlocker::FilterEvent(wxEvent& event) {
  // Processed, not ignored: an ignored event would still reach the native widget.
  if (event.GetEventCategory() == wxEVT_CATEGORY_USER_INPUT) return Event_Processed;
  const wxEventType type = event.GetEventType();
  if (type == wxEVT_CHAR_HOOK || type == wxEVT_CONTEXT_MENU) return Event_Processed;
  return Event_Skip;
}

void InputBlocker::KeepPainting() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastTurn_ < kTurnInterval) return;
  lastTurn_ = now;
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->Yield(true);
}

}  // namespace talvoro::pages
