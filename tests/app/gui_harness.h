// Driving the wizard in-process under Xvfb: a timer-driven list of steps that runs
// inside whatever modal loop is current, real input through wxUIActionSimulator,
// and recording stand-ins for the desktop's choosers and launcher.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <wx/timer.h>
#include <wx/toplevel.h>

#include "app/shell_actions.h"
#include "pages/message_boxes.h"
#include "pages/path_choosers.h"

namespace talvoro::test {

// Steps run one after the other from a timer; a step returns false to be asked
// again on the next tick (waiting for a window, say) and true when it is done. A
// step must not block: input goes through the simulator, which returns at once.
// When a step waits too long, or a modal window stays open after the last step,
// the script records the failure and closes every modal window so the code under
// test returns.
class StepScript {
 public:
  explicit StepScript(int stepTimeoutMs = 15000);
  ~StepScript();

  StepScript& Then(std::string name, std::function<bool()> step);
  // A step that always completes at once.
  StepScript& Do(std::string name, std::function<void()> action);

  void Start();
  bool finished() const { return next_ == steps_.size(); }
  const std::string& failure() const { return failure_; }

 private:
  void OnTick(wxTimerEvent&);

  struct Step {
    std::string name;
    std::function<bool()> run;
  };
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int waitedTicks_ = 0;
  int maxTicks_;
  bool inStep_ = false;
  std::string failure_;
  wxTimer timer_;
};

// The shown top-level window of that type, newest first; nullptr when none.
template <typename T>
T* ShownWindow() {
  for (auto it = wxTopLevelWindows.rbegin(); it != wxTopLevelWindows.rend(); ++it)
    if (auto* window = dynamic_cast<T*>(*it); window && window->IsShown()) return window;
  return nullptr;
}

inline pages::MessageWindow* ShownMessage() { return ShownWindow<pages::MessageWindow>(); }

// Closes every shown modal dialog (newest first) with wxID_CANCEL.
void EndAllModals();

// Real input: move the pointer to the middle of the window and click, press a key
// with the pointer over a window (keys go to the window under the pointer when no
// window manager runs), or type text into whatever has the focus.
void Click(wxWindow* window);
void RightClick(wxWindow* window);
void PressKey(wxWindow* over, int keyCode);
void TypeText(const std::string& text);

// Records what the wizard asks the desktop to open.
class RecordingLauncher : public app::ShellLauncher {
 public:
  bool OpenUrl(const std::string& url) override {
    urls.push_back(url);
    return true;
  }
  std::vector<std::string> urls;
};

// Answers the file and folder choosers with prepared answers.
class ScriptedChoosers : public pages::PathChoosers {
 public:
  std::optional<std::string> ChooseMdfFile(wxWindow*, const std::string& startFolder) override {
    ++fileRequests;
    fileStarts.push_back(startFolder);
    return mdfAnswer;
  }
  pages::FolderChoice ChooseFolder(wxWindow*, const std::string& title,
                                   const std::string& startFolder) override {
    folderTitles.push_back(title);
    folderStarts.push_back(startFolder);
    return folderAnswer;
  }
  std::optional<std::string> mdfAnswer;
  pages::FolderChoice folderAnswer;
  int fileRequests = 0;
  std::vector<std::string> fileStarts;
  std::vector<std::string> folderTitles;
  std::vector<std::string> folderStarts;
};

}  // namespace talvoro::test
