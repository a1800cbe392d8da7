// The reference of the start-up benchmark: a bare GTK 3 window of the demo's size that paints one
// frame (a filled client area and one line of text) and says "first-frame" once it has.
#include <gtk/gtk.h>

#include <cstdio>

namespace {

gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
  static bool first = true;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  PangoLayout* text = gtk_widget_create_pango_layout(widget, "Toolkit demo");
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, 12, 12);
  pango_cairo_show_layout(cr, text);
  g_object_unref(text);
  if (first) {
    first = false;
    std::puts("first-frame");
    std::fflush(stdout);
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 560, 420);
  GtkWidget* area = gtk_drawing_area_new();
  gtk_container_add(GTK_CONTAINER(window), area);
  g_signal_connect(area, "draw", G_CALLBACK(onDraw), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
