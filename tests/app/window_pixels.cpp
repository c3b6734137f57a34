#include "window_pixels.h"

#include <dlfcn.h>

#include <cstdint>

namespace talvoro::test {
namespace {

// GTK and cairo are already loaded by the toolkit; the entry points are looked up
// so the tests need no GTK development headers.
using SurfaceCreate = void* (*)(int, int, int);
using Create = void* (*)(void*);
using Destroy = void (*)(void*);
using WidgetDraw = void (*)(void*, void*);
using SurfaceFlush = void (*)(void*);
using SurfaceData = unsigned char* (*)(void*);
using SurfaceStride = int (*)(void*);

template <typename F>
F Lookup(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

constexpr int kFormatRgb24 = 1;  // CAIRO_FORMAT_RGB24

}  // namespace

wxImage RenderWindow(wxWindow& window) {
  const auto surfaceCreate = Lookup<SurfaceCreate>("cairo_image_surface_create");
  const auto create = Lookup<Create>("cairo_create");
  const auto destroy = Lookup<Destroy>("cairo_destroy");
  const auto surfaceDestroy = Lookup<Destroy>("cairo_surface_destroy");
  const auto widgetDraw = Lookup<WidgetDraw>("gtk_widget_draw");
  const auto flush = Lookup<SurfaceFlush>("cairo_surface_flush");
  const auto data = Lookup<SurfaceData>("cairo_image_surface_get_data");
  const auto stride = Lookup<SurfaceStride>("cairo_image_surface_get_stride");
  if (!surfaceCreate || !create || !destroy || !surfaceDestroy || !widgetDraw || !flush ||
      !data || !stride)
    return wxImage();

  const wxSize size = window.GetClientSize();
  void* surface = surfaceCreate(kFormatRgb24, size.x, size.y);
  void* cr = create(surface);
  widgetDraw(window.GetHandle(), cr);
  flush(surface);
  wxImage image(size.x, size.y, false);
  const unsigned char* pixels = data(surface);
  const int rowBytes = stride(surface);
  unsigned char* out = image.GetData();
  for (int y = 0; y < size.y; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + y * rowBytes);
    for (int x = 0; x < size.x; ++x) {
      const std::uint32_t p = row[x];
      *out++ = static_cast<unsigned char>(p >> 16);
      *out++ = static_cast<unsigned char>(p >> 8);
      *out++ = static_cast<unsigned char>(p);
    }
  }
  destroy(cr);
  surfaceDestroy(surface);
  return image;
}

}  // namespace talvoro::test
