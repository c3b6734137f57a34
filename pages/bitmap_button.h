// An owner-drawn push button that shows one bitmap normally and another while it
// is held down, copied to its top-left corner over the page's gradient and cut off
// at its own edges; greyed while disabled, with a dotted frame while focused. It
// sends wxEVT_BUTTON with its id when clicked (mouse, or Space while focused).
#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>

namespace talvoro::pages {

class BitmapButton : public wxControl {
 public:
  BitmapButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos,
               const wxSize& size, bool tabStop = true);

  // Loads the normal and pressed images (the bitmap resource ids).
  void LoadBitmaps(int normalId, int pressedId);

  bool IsPressed() const { return pressed_; }
  bool AcceptsFocus() const override { return tabStop_; }
  bool AcceptsFocusFromKeyboard() const override { return tabStop_; }
  bool Enable(bool enable = true) override;

  // Sends the click as if the user had released the mouse over the button.
  void Click();

 protected:
  wxSize DoGetBestSize() const override { return GetSize(); }

 private:
  void OnPaint(wxPaintEvent&);
  void OnLeftDown(wxMouseEvent&);
  void OnLeftUp(wxMouseEvent&);
  void OnMotion(wxMouseEvent&);
  void OnCaptureLost(wxMouseCaptureLostEvent&);
  void OnKeyDown(wxKeyEvent&);
  void SetPressed(bool pressed);

  wxBitmap normal_, pressedBitmap_;
  bool tabStop_;
  bool pressed_ = false;
  bool tracking_ = false;
};

}  // namespace talvoro::pages
