#include "page_painting.h"

#include <algorithm>
#include <initializer_list>

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/dcclient.h>
#include <wx/fontenum.h>
#include <wx/image.h>
#include <wx/settings.h>
#include <wx/toplevel.h>

namespace talvoro::pages {
namespace {

// Caption and border of a classic dialog frame at 96 dpi.
constexpr int kClassicFrameHeight = 23;

wxString FirstInstalledFace(std::initializer_list<const char*> faces, const char* fallback) {
  for (const char* face : faces)
    if (wxFontEnumerator::IsValidFacename(face)) return face;
  return fallback;
}

wxColour ToColour(const Rgb& c) { return wxColour(c.r, c.g, c.b); }

}  // namespace

wxString StripFaceName(StripFont font) {
  // Face lookups are slow; the installed faces do not change while we run.
  static const wxString title = FirstInstalledFace(
      {"MonoType Corsive", "Monotype Corsiva", "Dancing Script", "Z003", "TeX Gyre Chorus"},
      "DejaVu Serif");
  static const wxString text = FirstInstalledFace({"Verdana", "DejaVu Sans"}, "Sans");
  return font == StripFont::Title ? title : text;
}

wxFont ControlFont() {
  static const wxString face =
      FirstInstalledFace({"MS Sans Serif", "Liberation Sans", "Arimo", "DejaVu Sans"}, "Sans");
  return wxFont(wxFontInfo(8).FaceName(face));
}

int GradientWindowHeight(const wxWindow& window) {
  const int outer = window.GetSize().y;
  const int client = window.GetClientSize().y;
  return outer > client ? outer : client + kClassicFrameHeight;
}

void PaintGradientBackground(wxDC& dc, const wxWindow& window, GradientRule rule) {
  const int height = GradientWindowHeight(window);
  const int width = std::max(window.GetSize().x, window.GetClientSize().x);
  if (height <= 0 || width <= 0) return;
  const std::vector<Rgb> rows = GradientRowColours(height, rule);
  wxImage image(width, height, false);
  unsigned char* data = image.GetData();
  for (int y = 0; y < height; ++y) {
    const Rgb& c = rows[static_cast<std::size_t>(y)];
    unsigned char* row = data + static_cast<std::size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = c.r;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.b;
    }
  }
  // The client area starts below the caption; the part outside it is clipped.
  dc.DrawBitmap(wxBitmap(image, 24), 0, 0, false);
}

void PaintTextStrip(wxDC& dc, const TextStrip& strip) {
  wxBitmap bitmap(strip.stripWidth, strip.stripHeight, 24);
  {
    wxMemoryDC memory(bitmap);
    memory.SetBackground(wxBrush(ToColour(strip.background)));
    memory.Clear();
    wxFontInfo info(wxSize(0, strip.pixelHeight));
    info.FaceName(StripFaceName(strip.font)).Italic(strip.italic);
    memory.SetFont(wxFont(info));
    memory.SetTextForeground(ToColour(strip.textColour));
    memory.SetTextBackground(ToColour(strip.background));
    memory.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
    memory.DrawText(wxString::FromUTF8(strip.text.data(), strip.text.size()), 0, 0);
    memory.SelectObject(wxNullBitmap);
  }
  const int copied = std::min(strip.copiedWidth, strip.stripWidth);
  wxMemoryDC source(bitmap);
  dc.Blit(strip.x, strip.y, copied, strip.stripHeight, &source, 0, 0, wxCOPY);
}

void PaintFrameLine(wxDC& dc, const FrameLine& line) {
  int left, top, width, height;
  if (line.y1 == line.y2) {
    left = line.x1 < line.x2 ? line.x1 : line.x2 + 1;
    width = std::abs(line.x2 - line.x1);
    top = line.y1;
    height = 1;
  } else {
    top = line.y1 < line.y2 ? line.y1 : line.y2 + 1;
    height = std::abs(line.y2 - line.y1);
    left = line.x1;
    width = 1;
  }
  if (width == 0 || height == 0) return;
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(*wxBLACK_BRUSH);
  dc.DrawRectangle(left, top, width, height);
}

void PaintPage(wxWindow& page, const wxIcon& icon, std::span<const TextStrip> strips,
               std::span<const FrameLine> lines) {
  wxPaintDC dc(&page);
  auto* topLevel = dynamic_cast<wxTopLevelWindow*>(&page);
  if (topLevel && topLevel->IsIconized()) {
    const wxSize client = page.GetClientSize();
    const int iconWidth = wxSystemSettings::GetMetric(wxSYS_ICON_X, &page);
    const int iconHeight = wxSystemSettings::GetMetric(wxSYS_ICON_Y, &page);
    if (icon.IsOk())
      dc.DrawIcon(icon, (client.x - iconWidth + 1) / 2, (client.y - iconHeight + 1) / 2);
    return;
  }
  PaintGradientBackground(dc, page, GradientRule::Page);
  for (const TextStrip& strip : strips) PaintTextStrip(dc, strip);
  for (const FrameLine& line : lines) PaintFrameLine(dc, line);
}

void PaintStripTextOnly(wxDC& dc, const TextStrip& strip) {
  wxFontInfo info(wxSize(0, strip.pixelHeight));
  info.FaceName(StripFaceName(strip.font)).Italic(strip.italic);
  dc.SetFont(wxFont(info));
  dc.SetTextForeground(ToColour(strip.textColour));
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  wxDCClipper clip(dc, wxRect(strip.x, strip.y, std::min(strip.copiedWidth, strip.stripWidth),
                              strip.stripHeight));
  dc.DrawText(wxString::FromUTF8(strip.text.data(), strip.text.size()), strip.x, strip.y);
}

void PaintMessageDialog(wxWindow& dialog, const TextStrip& strip) {
  wxPaintDC dc(&dialog);
  PaintGradientBackground(dc, dialog, GradientRule::Message);
  // The heading sits on the window's own gradient, with no box of its own.
  PaintStripTextOnly(dc, strip);
}

}  // namespace talvoro::pages
