#include "pages/input_blocker.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/toplevel.h>

namespace talvoro::pages {

namespace {
// Often enough for a smooth status line and progress bar, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kTurnInterval{40};
}  // namespace

InputBlocker::InputBlocker(wxWindow& page) : page_(page) { wxEvtHandler::AddFilter(this); }

InputBlocker::~InputBlocker() { wxEvtHandler::RemoveFilter(this); }

int InputBlocker::FilterEvent(wxEvent& event) {
  // Native controls act on a click or key only when wx lets the raw event through,
  // so stopping the raw events is enough; the commands they would cause never come.
  const bool input = dynamic_cast<wxMouseEvent*>(&event) || dynamic_cast<wxKeyEvent*>(&event) ||
                     dynamic_cast<wxContextMenuEvent*>(&event);
  if (!input) return Event_Skip;
  auto* target = dynamic_cast<wxWindow*>(event.GetEventObject());
  if (!target || wxGetTopLevelParent(target) != &page_) return Event_Skip;
  // Processed, not ignored: an ignored event would still reach the native widget.
  return Event_Processed;
}

void InputBlocker::KeepPainting() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastTurn_ < kTurnInterval) return;
  lastTurn_ = now;
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->Yield(true);
}

}  // namespace talvoro::pages
