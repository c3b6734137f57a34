#include "bitmap_button.h"

#include <algorithm>
#include <vector>

#include <wx/dcbuffer.h>
#include <wx/pen.h>

#include "pages/page_decoration.h"
#include "pages/page_painting.h"
#include "res/resources.h"

namespace talvoro::pages {

BitmapButton::BitmapButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos,
                           const wxSize& size, bool tabStop)
    : tabStop_(tabStop) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, id, pos, size, wxBORDER_NONE);
  SetLabel(label);
  SetInitialSize(size);
  Bind(wxEVT_PAINT, &BitmapButton::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &BitmapButton::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &BitmapButton::OnLeftDown, this);
  Bind(wxEVT_LEFT_UP, &BitmapButton::OnLeftUp, this);
  Bind(wxEVT_MOTION, &BitmapButton::OnMotion, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &BitmapButton::OnCaptureLost, this);
  Bind(wxEVT_KEY_DOWN, &BitmapButton::OnKeyDown, this);
  Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) { Refresh(); event.Skip(); });
  Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) { Refresh(); event.Skip(); });
}

void BitmapButton::LoadBitmaps(int normalId, int pressedId) {
  normal_ = res::LoadBitmapResource(normalId);
  pressedBitmap_ = res::LoadBitmapResource(pressedId);
  Refresh();
}

void BitmapButton::Click() {
  wxCommandEvent event(wxEVT_BUTTON, GetId());
  event.SetEventObject(this);
  ProcessWindowEvent(event);
}

void BitmapButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  // The page's gradient shows through the bitmaps' transparent parts.
  const wxSize client = GetClientSize();
  const std::vector<Rgb> rows =
      GradientRowColours(GradientWindowHeight(*GetParent()), GradientRule::Page);
  const int top = GetPosition().y;
  dc.SetPen(*wxTRANSPARENT_PEN);
  for (int y = 0; y < client.y; ++y) {
    const std::size_t row = static_cast<std::size_t>(std::clamp(top + y, 0, int(rows.size()) - 1));
    const Rgb c = rows.empty() ? Rgb{240, 240, 240} : rows[row];
    dc.SetBrush(wxBrush(wxColour(c.r, c.g, c.b)));
    dc.DrawRectangle(0, y, client.x, 1);
  }
  const wxBitmap& shown = pressed_ && pressedBitmap_.IsOk() ? pressedBitmap_ : normal_;
  if (shown.IsOk()) {
    dc.SetClippingRegion(wxRect(client));
    dc.DrawBitmap(IsEnabled() ? shown : shown.ConvertToDisabled(), 0, 0, true);
    dc.DestroyClippingRegion();
  }
  // The focus mark: a dotted frame inside the edge, as classic buttons show it.
  if (HasFocus()) {
    wxPen dots(wxColour(0, 0, 0), 1, wxPENSTYLE_DOT);
    dc.SetPen(dots);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(wxRect(client).Deflate(2));
  }
}

bool BitmapButton::Enable(bool enable) {
  const bool changed = wxControl::Enable(enable);
  if (changed) Refresh();
  return changed;
}

void BitmapButton::SetPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  Refresh();
  Update();
}

void BitmapButton::OnLeftDown(wxMouseEvent&) {
  if (tabStop_) SetFocus();
  tracking_ = true;
  if (!HasCapture()) CaptureMouse();
  SetPressed(true);
}

void BitmapButton::OnMotion(wxMouseEvent& event) {
  if (tracking_) SetPressed(wxRect(GetClientSize()).Contains(event.GetPosition()));
}

void BitmapButton::OnLeftUp(wxMouseEvent& event) {
  if (!tracking_) return;
  tracking_ = false;
  if (HasCapture()) ReleaseMouse();
  const bool inside = wxRect(GetClientSize()).Contains(event.GetPosition());
  SetPressed(false);
  // The handler may end the dialog or open a nested one; nothing of ours runs after it.
  if (inside) Click();
}

void BitmapButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
  tracking_ = false;
  SetPressed(false);
}

void BitmapButton::OnKeyDown(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_SPACE) {
    Click();
    return;
  }
  event.Skip();
}

}  // namespace talvoro::pages
