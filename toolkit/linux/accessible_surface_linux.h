// The drawing surface of a GTK host window and its ATK binding: the widget whose accessible
// object exposes the window's control tree (toolkit/core/accessibility.h) to AT-SPI clients.
// Nothing is built until a client asks the widget for its accessible; from then on every change
// the window repaints is compared with what clients were told, and the differences go out as
// ATK events (focus, names, states, values, texts, children) on an idle after the change.
#pragma once

#include <gtk/gtk.h>

namespace toolkit {

class WindowImplBase;

namespace atk {

// A drawing area for |window|'s client area. The caller owns the widget as any other.
GtkWidget* createSurface(WindowImplBase& window);

// Something of the window may have changed (the window asked for a repaint).
void surfaceChanged(GtkWidget* surface);

// The window is going: every accessible object of its controls becomes defunct and forgets
// them. Call before the controls go.
void surfaceGone(GtkWidget* surface);

// Makes |top| a dialog to assistive technology, described by what the window says beyond its
// title (a box's message); made at once, as boxes are few and short-lived.
void describeTopLevel(GtkWidget* surface, GtkWidget* top);

}  // namespace atk
}  // namespace toolkit
