#include <cairo.h>

#include "toolkit/painting/linux/cairo_paint.h"
#include "toolkit/painting/window_painting.h"

namespace toolkit {

void paintWindow(cairo_t* context, WindowImplBase& window, const Rect& dirty) {
  OffscreenRenderer* renderer = rendererOf(window);
  if (renderer == nullptr || window.root() == nullptr) {
    cairo_set_source_rgb(context, 1, 1, 1);
    cairo_paint(context);
    return;
  }
  // The painter rounds to device pixels itself: its user space is made the surface's pixels,
  // and the screen's scale goes to the painter (images of the enlarged variant from 2 on).
  double scaleX = 1;
  double scaleY = 1;
  cairo_surface_get_device_scale(cairo_get_target(context), &scaleX, &scaleY);
  if (!(scaleX > 0)) scaleX = 1;
  cairo_save(context);
  cairo_scale(context, 1 / scaleX, 1 / scaleY);
  paintOn(*renderer, context, *window.root(), scaleX, dirty);
  cairo_restore(context);
}

}  // namespace toolkit
