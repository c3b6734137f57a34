#include "resources.h"

#include <algorithm>
#include <functional>

#include <wx/dcmemory.h>
#include <wx/font.h>
#include <wx/image.h>

#include "res/resource_ids.h"

namespace talvoro::res {
namespace {

// Renders `draw` once on black and once on white: where the two agree the picture
// is opaque, where they differ by the full range it is clear, and in between (the
// smoothed edges) the difference gives the coverage. So the page shows through
// everything the drawing leaves untouched, edges included.
wxBitmap WithTransparentBackground(const wxSize& size, const std::function<void(wxDC&)>& draw) {
  auto render = [&](const wxColour& background) {
    wxBitmap bitmap(size, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    draw(dc);
    dc.SelectObject(wxNullBitmap);
    return bitmap.ConvertToImage();
  };
  const wxImage onBlack = render(*wxBLACK);
  const wxImage onWhite = render(*wxWHITE);
  wxImage result(size.x, size.y, false);
  result.InitAlpha();
  const unsigned char* b = onBlack.GetData();
  const unsigned char* w = onWhite.GetData();
  unsigned char* rgb = result.GetData();
  unsigned char* alpha = result.GetAlpha();
  const std::size_t pixels = static_cast<std::size_t>(size.x) * size.y;
  for (std::size_t i = 0; i < pixels; ++i) {
    int spread = 0;
    for (int c = 0; c < 3; ++c) spread = std::max(spread, w[3 * i + c] - b[3 * i + c]);
    const int a = std::clamp(255 - spread, 0, 255);
    alpha[i] = static_cast<unsigned char>(a);
    for (int c = 0; c < 3; ++c)
      rgb[3 * i + c] = a == 0 ? 0 : static_cast<unsigned char>(std::min(255, b[3 * i + c] * 255 / a));
  }
  return wxBitmap(result, 32);
}

// 87 x 26 red face with rounded corners and a bold yellow caption.
wxBitmap DrawCaptionButton(const wxString& caption, bool pressed) {
  const wxSize size(87, 26);
  return WithTransparentBackground(size, [&](wxDC& dc) {

    const wxColour edge = pressed ? wxColour(110, 0, 0) : wxColour(140, 0, 0);
    const wxColour face = pressed ? wxColour(165, 10, 10) : wxColour(205, 20, 20);
    const wxColour shine = pressed ? wxColour(185, 40, 40) : wxColour(230, 70, 60);
    dc.SetPen(wxPen(edge));
    dc.SetBrush(wxBrush(face));
    dc.DrawRoundedRectangle(1, 1, size.x - 2, size.y - 2, 7);
    // A lighter upper half gives the face some depth.
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(shine));
    dc.DrawRoundedRectangle(4, 3, size.x - 8, size.y / 2 - 3, 5);

    wxFont font(wxFontInfo(9).Bold().Family(wxFONTFAMILY_SWISS));
    dc.SetFont(font);
    dc.SetTextForeground(wxColour(255, 235, 0));
    const wxSize text = dc.GetTextExtent(caption);
    const int shift = pressed ? 1 : 0;
    dc.DrawText(caption, (size.x - text.x) / 2 + shift, (size.y - text.y) / 2 + shift);
  });
}

// A green arrow pointing right or left, sized to fit its button whole.
wxBitmap DrawArrow(int width, int height, bool right, bool pressed) {
  return WithTransparentBackground(wxSize(width, height), [&](wxDC& dc) {
    const int m = 3;                        // margin
    const int midY = height / 2;
    const int headLength = width * 2 / 5;
    const int shaftHalf = height / 6 + 1;
    const int inner = right ? width - m - headLength : m + headLength;
    const int tail = right ? m : width - m;
    const int tip = right ? width - m : m;
    const wxPoint shape[] = {
        {tail, midY - shaftHalf}, {inner, midY - shaftHalf}, {inner, m},
        {tip, midY},              {inner, height - m - 1},  {inner, midY + shaftHalf},
        {tail, midY + shaftHalf},
    };
    dc.SetPen(wxPen(wxColour(0, 90, 20)));
    dc.SetBrush(wxBrush(pressed ? wxColour(0, 130, 30) : wxColour(20, 170, 50)));
    dc.DrawPolygon(WXSIZEOF(shape), shape, pressed ? 1 : 0, pressed ? 1 : 0);
  });
}

}  // namespace

wxBitmap LoadBitmapResource(int id) {
  switch (id) {
    case IDB_NEXT: return DrawCaptionButton("Next", false);
    case IDB_NEXT_DOWN: return DrawCaptionButton("Next", true);
    case IDB_BROWSE: return DrawCaptionButton("Browse", false);
    case IDB_BROWSE_DOWN: return DrawCaptionButton("Browse", true);
    case IDB_HELP: return DrawCaptionButton("Help", false);
    case IDB_HELP_DOWN: return DrawCaptionButton("Help", true);
    case IDB_CONVERT: return DrawCaptionButton("Convert", false);
    case IDB_CONVERT_DOWN: return DrawCaptionButton("Convert", true);
    case IDB_PREV: return DrawCaptionButton("Previous", false);
    case IDB_PREV_DOWN: return DrawCaptionButton("Previous", true);
    case IDB_BUY: return DrawCaptionButton("Buy Now", false);
    case IDB_BUY_DOWN: return DrawCaptionButton("Buy Now", true);
    // The sizes of the add (42 x 36) and remove (38 x 34) buttons.
    case IDB_ADD: return DrawArrow(42, 36, true, false);
    case IDB_ADD_DOWN: return DrawArrow(42, 36, true, true);
    case IDB_REMOVE: return DrawArrow(38, 34, false, false);
    case IDB_REMOVE_DOWN: return DrawArrow(38, 34, false, true);
    default: return wxNullBitmap;
  }
}

wxIcon LoadApplicationIcon(int size) {
  // Drawn at 32 x 32: a blue database drum, a green arrow and a red-topped file,
  // i.e. a server database becoming a desktop file. Scaled for other sizes.
  const wxColour key(255, 0, 255);
  wxBitmap bitmap(32, 32, 24);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(key));
    dc.Clear();
    dc.SetPen(wxPen(wxColour(10, 40, 110)));
    dc.SetBrush(wxBrush(wxColour(40, 100, 200)));
    dc.DrawRectangle(2, 6, 14, 18);
    dc.DrawEllipse(2, 20, 14, 7);
    dc.SetBrush(wxBrush(wxColour(110, 160, 235)));
    dc.DrawEllipse(2, 3, 14, 7);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxColour(40, 100, 200)));
    dc.DrawRectangle(3, 10, 12, 13);
    // The file.
    dc.SetPen(wxPen(wxColour(90, 20, 20)));
    dc.SetBrush(wxBrush(wxColour(255, 255, 230)));
    dc.DrawRectangle(19, 11, 12, 18);
    dc.SetBrush(wxBrush(wxColour(180, 30, 30)));
    dc.DrawRectangle(19, 11, 12, 5);
    // The arrow between them.
    const wxPoint arrow[] = {{13, 14}, {20, 14}, {20, 11}, {26, 17}, {20, 23}, {20, 20}, {13, 20}};
    dc.SetPen(wxPen(wxColour(0, 90, 20)));
    dc.SetBrush(wxBrush(wxColour(20, 170, 50)));
    dc.DrawPolygon(WXSIZEOF(arrow), arrow);
    dc.SelectObject(wxNullBitmap);
  }
  wxImage image = bitmap.ConvertToImage();
  image.SetMaskColour(key.Red(), key.Green(), key.Blue());
  if (size != 32) image.Rescale(size, size, wxIMAGE_QUALITY_NEAREST);
  wxIcon icon;
  icon.CopyFromBitmap(wxBitmap(image));
  return icon;
}

wxString LoadStringResource(int id) {
  switch (id) {
    case IDS_SYSMENU_ABOUT: return "&About Kestrin1...";
    default: return wxString();
  }
}

}  // namespace talvoro::res
