#include "gui_harness.h"

#include <wx/dialog.h>
#include <wx/uiaction.h>

namespace talvoro::test {

namespace {
constexpr int kTickMs = 40;
}

StepScript::StepScript(int stepTimeoutMs) : maxTicks_(stepTimeoutMs / kTickMs) {
  timer_.Bind(wxEVT_TIMER, &StepScript::OnTick, this);
}

StepScript::~StepScript() { timer_.Stop(); }

StepScript& StepScript::Then(std::string name, std::function<bool()> step) {
  steps_.push_back({std::move(name), std::move(step)});
  return *this;
}

StepScript& StepScript::Do(std::string name, std::function<void()> action) {
  return Then(std::move(name), [action = std::move(action)] {
    action();
    return true;
  });
}

void StepScript::Start() { timer_.Start(kTickMs); }

void StepScript::OnTick(wxTimerEvent&) {
  if (inStep_ || !failure_.empty()) return;
  if (finished()) {
    // Every step is done, yet a modal window stays open: something showed a
    // window the script did not expect. Close it so the test can report.
    bool modalOpen = false;
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* dialog = dynamic_cast<wxDialog*>(window); dialog && dialog->IsModal()) modalOpen = true;
    if (modalOpen && ++waitedTicks_ > maxTicks_ / 3) {
      failure_ = "a window stayed open after the last step";
      timer_.Stop();
      EndAllModals();
    }
    return;
  }
  inStep_ = true;
  if (steps_[next_].run()) {
    ++next_;
    waitedTicks_ = 0;
  } else if (++waitedTicks_ > maxTicks_) {
    failure_ = "step timed out: " + steps_[next_].name;
    timer_.Stop();
    EndAllModals();
  }
  inStep_ = false;
}

void EndAllModals() {
  for (auto it = wxTopLevelWindows.rbegin(); it != wxTopLevelWindows.rend(); ++it)
    if (auto* dialog = dynamic_cast<wxDialog*>(*it); dialog && dialog->IsModal())
      dialog->EndModal(wxID_CANCEL);
}

namespace {
void MoveOver(wxUIActionSimulator& sim, wxWindow* window) {
  const wxSize size = window->GetClientSize();
  sim.MouseMove(window->ClientToScreen(wxPoint(size.x / 2, size.y / 2)));
}
}  // namespace

void Click(wxWindow* window) {
  wxUIActionSimulator sim;
  MoveOver(sim, window);
  sim.MouseClick();
}

void RightClick(wxWindow* window) {
  wxUIActionSimulator sim;
  MoveOver(sim, window);
  sim.MouseClick(wxMOUSE_BTN_RIGHT);
}

void PressKey(wxWindow* over, int keyCode) {
  wxUIActionSimulator sim;
  MoveOver(sim, over);
  sim.Char(keyCode);
}

void TypeText(const std::string& text) {
  wxUIActionSimulator sim;
  sim.Text(text.c_str());
}

}  // namespace talvoro::test
