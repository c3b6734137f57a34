// While a conversion runs on the UI thread, the page keeps painting (the run lets
// the event loop turn now and then) but must not react to the user: this filter
// swallows keyboard and mouse input for its lifetime. Paint, size and timer events
// pass through, so the desktop never sees a hung window.
#pragma once

#include <chrono>

#include <wx/eventfilter.h>

namespace talvoro::pages {

class InputBlocker : public wxEventFilter {
 public:
  InputBlocker();
  ~InputBlocker() override;
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

  int FilterEvent(wxEvent& event) override;

  // Lets pending events (paint, timers) run if the last turn was long enough ago.
  void KeepPainting();

 private:
  std::chrono::steady_clock::time_point lastTurn_{};
};

}  // namespace talvoro::pages
