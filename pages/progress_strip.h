// The run's progress bar, painted by the page itself: a pale trough with a thin
// frame and the filled part in solid green, the same on every desktop theme (the
// toolkit's native bar draws a thin outline under some themes and takes the
// trough's colour for its filled part).
#pragma once

#include <wx/control.h>

#include "pages/page_decoration.h"
#include "pages/page_logic.h"

namespace talvoro::pages {

inline constexpr Rgb kProgressTrough{240, 240, 138};
inline constexpr Rgb kProgressFill{6, 150, 40};
inline constexpr Rgb kProgressFrame{128, 128, 96};

class ProgressStrip : public wxControl {
 public:
  ProgressStrip(wxWindow* parent, int id, int range, const wxPoint& pos, const wxSize& size);

  void SetValue(int value);  // 0..range
  int GetValue() const { return value_; }
  int GetRange() const { return range_; }

 private:
  void OnPaint(wxPaintEvent&);
  wxSize DoGetBestSize() const override { return GetSize(); }

  int range_;
  int value_ = 0;
};

}  // namespace talvoro::pages
