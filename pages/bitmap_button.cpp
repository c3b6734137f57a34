#include "bitmap_button.h"

#include <wx/dcclient.h>

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
  wxPaintDC dc(this);
  const wxBitmap& bitmap = pressed_ && pressedBitmap_.IsOk() ? pressedBitmap_ : normal_;
  if (bitmap.IsOk()) {
    dc.SetClippingRegion(wxRect(GetClientSize()));
    dc.DrawBitmap(bitmap, 0, 0, false);
  } else {
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
  }
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
