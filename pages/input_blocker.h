// While a conversion runs on the UI thread, the page keeps painting (the run lets
// the event loop turn now and then) but must not react to the user: this filter
// swallows mouse and keyboard input aimed at the page for its lifetime. Paint,
// size and timer events pass, so the desktop never sees a hung window, and other
// windows (a message box the run shows) take input as usual.
#pragma once

#include <chrono>

#include <wx/eventfilter.h>
#include <wx/window.h>

namespace talvoro::pages {

class InputBlocker : public wxEventFilter {
 public:
  explicit InputBlocker(wxWindow& page);
  ~InputBlocker() override;
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

  int FilterEvent(wxEvent& event) override;

  // Lets pending events (paint, timers) run if the last turn was long enough ago.
  void KeepPainting();

 private:
  wxWindow& page_;
  std::chrono::steady_clock::time_point lastTurn_{};
};

}  // namespace talvoro::pages
