#include "pages/progress_strip.h"

#include <algorithm>

#include <wx/dcclient.h>

namespace talvoro::pages {
namespace {
wxColour ToColour(const Rgb& c) { return wxColour(c.r, c.g, c.b); }
}  // namespace

ProgressStrip::ProgressStrip(wxWindow* parent, int id, int range, const wxPoint& pos,
                             const wxSize& size)
    : range_(range) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, id, pos, size, wxBORDER_NONE);
  SetMinSize(size);
  Bind(wxEVT_PAINT, &ProgressStrip::OnPaint, this);
}

void ProgressStrip::SetValue(int value) {
  value = std::clamp(value, 0, range_);
  if (value == value_) return;
  value_ = value;
  Refresh(false);
}

void ProgressStrip::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetPen(wxPen(ToColour(kProgressFrame)));
  dc.SetBrush(wxBrush(ToColour(kProgressTrough)));
  dc.DrawRectangle(0, 0, size.x, size.y);
  const int inner = size.x - 2;
  const int filled = ProgressFillWidth(value_, range_, inner);
  if (filled > 0 && size.y > 2) {
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(ToColour(kProgressFill)));
    dc.DrawRectangle(1, 1, filled, size.y - 2);
  }
}

}  // namespace talvoro::pages
