// Draws the demo skin's images with Cairo at build time (no artwork is kept in the tree): each
// image at its plain size in <out>/ and twice the size in <out>/Enalarge/, the enlarged variant
// windows use from a scale of 2 on.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

void rgb(cairo_t* cr, unsigned color, double alpha = 1.0) {
  cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                        (color & 0xFF) / 255.0, alpha);
}

void roundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// |draw| works in plain pixels; the enlarged variant is the same drawing scaled by 2.
bool write(const std::string& out, const std::string& name, int width, int height,
           const std::function<void(cairo_t*)>& draw) {
  for (int scale : {1, 2}) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    draw(cr);
    cairo_destroy(cr);
    const std::string path = out + (scale == 2 ? "/Enalarge/" : "/") + name;
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_images <skin folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  bool ok = true;
  // A button sprite of four states side by side (normal, hot, pushed, disabled), 100 x 32 each.
  ok &= write(out, "button.png", 400, 32, [](cairo_t* cr) {
    const unsigned fills[] = {0x268FD6, 0x45A6E8, 0x1B6FA8, 0xB8C2CC};
    for (int i = 0; i < 4; ++i) {
      roundRect(cr, i * 100 + 1, 1, 98, 30, 5);
      rgb(cr, fills[i]);
      cairo_fill(cr);
    }
  });
  // Check and radio marks: off and on, 16 x 16 each.
  ok &= write(out, "check.png", 32, 16, [](cairo_t* cr) {
    for (int i = 0; i < 2; ++i) {
      roundRect(cr, i * 16 + 1.5, 1.5, 13, 13, 2);
      rgb(cr, 0xFFFFFF);
      cairo_fill_preserve(cr);
      rgb(cr, 0x268FD6);
      cairo_set_line_width(cr, 1.2);
      cairo_stroke(cr);
    }
    cairo_move_to(cr, 16 + 4, 8);
    cairo_line_to(cr, 16 + 7, 11);
    cairo_line_to(cr, 16 + 12, 5);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
  });
  ok &= write(out, "radio.png", 32, 16, [](cairo_t* cr) {
    for (int i = 0; i < 2; ++i) {
      cairo_arc(cr, i * 16 + 8, 8, 6.5, 0, 2 * M_PI);
      rgb(cr, 0xFFFFFF);
      cairo_fill_preserve(cr);
      rgb(cr, 0x268FD6);
      cairo_set_line_width(cr, 1.2);
      cairo_stroke(cr);
    }
    cairo_arc(cr, 16 + 8, 8, 3.5, 0, 2 * M_PI);
    cairo_fill(cr);
  });
  // A framed panel for nine-grid stretching: 8-pixel corners, a plain middle.
  ok &= write(out, "panel.png", 32, 32, [](cairo_t* cr) {
    roundRect(cr, 0.5, 0.5, 31, 31, 8);
    rgb(cr, 0xF4F8FB);
    cairo_fill_preserve(cr);
    rgb(cr, 0x268FD6);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  });
  ok &= write(out, "progress_fore.png", 16, 12, [](cairo_t* cr) {
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, 12);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0x45 / 255.0, 0xA6 / 255.0, 0xE8 / 255.0);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0x1B / 255.0, 0x6F / 255.0, 0xA8 / 255.0);
    cairo_set_source(cr, shade);
    cairo_paint(cr);
    cairo_pattern_destroy(shade);
  });
  // A small emblem: a disc with a ring, on magenta that the layout masks out.
  ok &= write(out, "emblem.png", 48, 48, [](cairo_t* cr) {
    // Hard edges: a blended edge pixel would not match the mask colour.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    rgb(cr, 0xFF00FF);
    cairo_paint(cr);
    cairo_arc(cr, 24, 24, 20, 0, 2 * M_PI);
    rgb(cr, 0x268FD6);
    cairo_fill(cr);
    cairo_arc(cr, 24, 24, 11, 0, 2 * M_PI);
    rgb(cr, 0xFFFFFF);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
  });
  return ok ? 0 : 1;
}
