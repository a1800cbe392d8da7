// The desktop host on GTK 3: one undecorated GtkWindow per toolkit window with a drawing area
// that covers the client area. GTK double-buffers the drawing; invalidated areas are queued as
// redraws of just that area.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "toolkit/linux/accessible_surface_linux.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "toolkit/linux/text_scale_linux.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"

namespace toolkit {
namespace {

std::string utf8(std::wstring_view text) { return utility::wideToUtf8(text); }

Key keyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab: return Key::kTab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return Key::kEnter;
    case GDK_KEY_Escape: return Key::kEscape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return Key::kSpace;
    case GDK_KEY_BackSpace: return Key::kBackspace;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return Key::kDelete;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return Key::kLeft;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return Key::kRight;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return Key::kUp;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return Key::kDown;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home: return Key::kHome;
    case GDK_KEY_End:
    case GDK_KEY_KP_End: return Key::kEnd;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up: return Key::kPageUp;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down: return Key::kPageDown;
    case GDK_KEY_F4: return Key::kF4;
    case GDK_KEY_a:
    case GDK_KEY_A: return Key::kA;
    case GDK_KEY_c:
    case GDK_KEY_C: return Key::kC;
    case GDK_KEY_v:
    case GDK_KEY_V: return Key::kV;
    case GDK_KEY_x:
    case GDK_KEY_X: return Key::kX;
    default: return Key::kOther;
  }
}

unsigned modifiersOf(guint state) {
  unsigned modifiers = kNoModifier;
  if ((state & GDK_SHIFT_MASK) != 0) modifiers |= kShift;
  if ((state & GDK_CONTROL_MASK) != 0) modifiers |= kControl;
  if ((state & GDK_MOD1_MASK) != 0) modifiers |= kAlt;
  return modifiers;
}

class GtkDesktop;

class GtkWindowHost : public WindowHost {
 public:
  GtkWindowHost(GtkDesktop& desktop, WindowImplBase& window, GtkWindowHost* owner,
                const WindowStyle& style, Size clientSize);
  ~GtkWindowHost() override;

  void setTitle(std::wstring_view title) override {
    gtk_window_set_title(GTK_WINDOW(top_), utf8(title).c_str());
  }
  void setIcon(int resourceId) override;
  void show(ShowCommand command) override;
  bool isVisible() const override { return gtk_widget_get_visible(top_) != FALSE; }
  // As the window manager last said (an iconified window): a minimise asked for here and a
  // restore from the task bar both count only once it reports them.
  bool isMinimized() const override { return minimized_; }
  void bringToTop() override { gtk_window_present(GTK_WINDOW(top_)); }
  void bringToFront() override;
  void setTopmost(bool topmost) override { gtk_window_set_keep_above(GTK_WINDOW(top_), topmost); }
  void setEnabled(bool enabled) override {
    gtk_widget_set_sensitive(top_, enabled);
    atk::surfaceChanged(area_);
  }
  Rect frame() const override;
  void setFrame(const Rect& frame) override;
  Rect workArea() const override;
  void invalidate(const Rect& area) override {
    gtk_widget_queue_draw_area(area_, area.left, area.top, area.width(), area.height());
    // What is repainted may read differently: assistive technology hears of it, as often as the
    // display changes (nothing happens before a client looked).
    atk::surfaceChanged(area_);
  }
  bool startTimer(uint32_t id, uint32_t periodMs) override;
  void stopTimer(uint32_t id) override;
  std::wstring clipboardText() override;
  void setClipboardText(std::wstring_view text) override;
  void openDropList(Combo& combo) override;
  void setToolTip(std::wstring_view text) override {
    gtk_widget_set_tooltip_text(area_, text.empty() ? nullptr : utf8(text).c_str());
  }
  void setCursor(Cursor cursor) override;
  int scaleFactor() const override { return gtk_widget_get_scale_factor(top_); }
  GtkWindow* topWindow() const { return GTK_WINDOW(top_); }

 private:
  struct TimerData {
    WindowImplBase* window;
    uint32_t id;
  };

  void deliverInput(const InputEvent& event) {
    WindowMessage message;
    message.type = MessageType::kInput;
    message.input = event;
    window_.deliver(message);
  }

  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean onButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean onMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
  static gboolean onLeave(GtkWidget* widget, GdkEventCrossing* event, gpointer self);
  static gboolean onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
  static gboolean onKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean onFocus(GtkWidget* widget, GdkEventFocus* event, gpointer self);
  static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static void onSize(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  static void onRealize(GtkWidget* widget, gpointer self);
  static void onCommit(GtkIMContext* context, gchar* text, gpointer self);
  static gboolean onTimer(gpointer data);

  GtkDesktop& desktop_;
  WindowImplBase& window_;
  GtkWidget* top_ = nullptr;
  GtkWidget* area_ = nullptr;
  GtkIMContext* im_ = nullptr;
  GtkWidget* menu_ = nullptr;
  Size size_;
  bool minimized_ = false;
  std::map<uint32_t, guint> timers_;
};

class GtkDesktop : public WindowHostFactory {
 public:
  GtkDesktop(const TextMeasurer& measurer, CairoPaintHook painter, LayoutFileReader files)
      : measurer_(measurer), painter_(std::move(painter)), files_(std::move(files)),
        previous_(windowHostFactory()) {
    setWindowHostFactory(this);
  }
  ~GtkDesktop() override {
    if (windowHostFactory() == this) setWindowHostFactory(previous_);
  }

  std::unique_ptr<WindowHost> createHost(WindowImplBase& window, WindowHost* owner,
                                         const WindowStyle& style, Size clientSize) override {
    return std::make_unique<GtkWindowHost>(*this, window, static_cast<GtkWindowHost*>(owner),
                                           style, clientSize);
  }
  const TextMeasurer& measurer() const override { return measurer_; }
  LayoutFileReader layoutFiles() const override { return files_; }
  double textScale() const override { return desktopTextScale(); }
  void runModalLoop(const std::function<bool()>& done) override {
    while (!done()) g_main_context_iteration(nullptr, TRUE);
  }
  void brokenLayout(const LoadError& error) override {
    const std::string text = utf8(error.text());
    std::fprintf(stderr, "Duilib: %s\n", text.c_str());
    std::fflush(stderr);
    if (gdk_display_get_default() != nullptr) {
      GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                              GTK_BUTTONS_OK, "%s", text.c_str());
      gtk_window_set_title(GTK_WINDOW(box), "Duilib");
      gtk_dialog_run(GTK_DIALOG(box));
    }
    // At once, as the process would end on a broken skin: nothing else runs.
    std::_Exit(1);
  }

  // The desktop's folder chooser (a portal dialog where the desktop has one), run modally.
  std::optional<std::string> chooseFolder(WindowHost* owner, std::wstring_view title,
                                          const std::string& startFolder) override;

  const CairoPaintHook& painter() const { return painter_; }

 private:
  const TextMeasurer& measurer_;
  CairoPaintHook painter_;
  LayoutFileReader files_;
  WindowHostFactory* previous_;
};

std::optional<std::string> GtkDesktop::chooseFolder(WindowHost* owner, std::wstring_view title,
                                                    const std::string& startFolder) {
  GtkWindow* parent = owner != nullptr ? static_cast<GtkWindowHost*>(owner)->topWindow() : nullptr;
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      utf8(title).c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
  if (!startFolder.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), startFolder.c_str());
  std::optional<std::string> chosen;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
      chosen = folder;
      g_free(folder);
    }
  }
  g_object_unref(chooser);
  return chosen;
}

GtkWindowHost::GtkWindowHost(GtkDesktop& desktop, WindowImplBase& window, GtkWindowHost* owner,
                             const WindowStyle& style, Size clientSize)
    : desktop_(desktop), window_(window), size_(clientSize) {
  top_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(top_);
  GtkWindow* top = GTK_WINDOW(top_);
  gtk_window_set_decorated(top, FALSE);
  gtk_window_set_default_size(top, clientSize.width, clientSize.height);
  gtk_window_set_keep_above(top, style.topmost);
  gtk_window_set_skip_taskbar_hint(top, style.toolWindow);
  const std::string className = utf8(window.windowClassName());
  gtk_widget_set_name(top_, className.c_str());
  if (owner != nullptr) gtk_window_set_transient_for(top, GTK_WINDOW(owner->top_));
  const WindowDescription& description = window.description();
  if (description.minInfo.width > 0 || description.minInfo.height > 0) {
    gtk_widget_set_size_request(top_, description.minInfo.width,
                                description.minInfo.height);
  }

  if (style.dialog) gtk_window_set_type_hint(top, GDK_WINDOW_TYPE_HINT_DIALOG);
  area_ = atk::createSurface(window);
  gtk_widget_set_can_focus(area_, TRUE);
  gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                   GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                   GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
  gtk_container_add(GTK_CONTAINER(top_), area_);
  if (style.dialog) atk::describeTopLevel(area_, top_);
  g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(area_, "button-press-event", G_CALLBACK(onButton), this);
  g_signal_connect(area_, "button-release-event", G_CALLBACK(onButton), this);
  g_signal_connect(area_, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(area_, "leave-notify-event", G_CALLBACK(onLeave), this);
  g_signal_connect(area_, "scroll-event", G_CALLBACK(onScroll), this);
  g_signal_connect(area_, "size-allocate", G_CALLBACK(onSize), this);
  g_signal_connect(top_, "key-press-event", G_CALLBACK(onKey), this);
  g_signal_connect(top_, "focus-in-event", G_CALLBACK(onFocus), this);
  g_signal_connect(top_, "focus-out-event", G_CALLBACK(onFocus), this);
  g_signal_connect(top_, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(top_, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(top_, "realize", G_CALLBACK(onRealize), this);
  // The desktop's text size changed: the window scales its fonts and lays itself out again.
  g_signal_connect(gtk_settings_get_default(), "notify::gtk-xft-dpi",
                   G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
                     static_cast<GtkWindowHost*>(self)->window_.setTextScale(desktopTextScale());
                   }),
                   this);

  // Typed text comes through the input method (dead keys, compose, CJK input).
  im_ = gtk_im_multicontext_new();
  g_signal_connect(im_, "commit", G_CALLBACK(onCommit), this);
}

GtkWindowHost::~GtkWindowHost() {
  atk::surfaceGone(area_);
  g_signal_handlers_disconnect_by_data(gtk_settings_get_default(), this);
  for (const auto& [id, source] : timers_) g_source_remove(source);
  timers_.clear();
  if (menu_ != nullptr) gtk_widget_destroy(menu_);
  g_signal_handlers_disconnect_by_data(im_, this);
  gtk_im_context_set_client_window(im_, nullptr);
  g_object_unref(im_);
  g_signal_handlers_disconnect_by_data(area_, this);
  g_signal_handlers_disconnect_by_data(top_, this);
  gtk_widget_destroy(top_);
  g_object_unref(top_);
}

void GtkWindowHost::onRealize(GtkWidget* /*widget*/, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  gtk_im_context_set_client_window(host->im_, gtk_widget_get_window(host->top_));
}

void GtkWindowHost::setIcon(int resourceId) {
  // The executable's icon resource ("ICON", |resourceId|), an image file gdk-pixbuf reads; a
  // program that carries none keeps the desktop's default.
  const std::span<const uint8_t> bytes = utility::findResource(L"ICON", resourceId);
  if (bytes.empty()) return;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  if (gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    gtk_window_set_icon(GTK_WINDOW(top_), gdk_pixbuf_loader_get_pixbuf(loader));
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
}

void GtkWindowHost::show(ShowCommand command) {
  GtkWindow* top = GTK_WINDOW(top_);
  switch (command) {
    case ShowCommand::kHide:
      gtk_widget_hide(top_);
      break;
    case ShowCommand::kShow:
    case ShowCommand::kRestore:
      gtk_window_set_focus_on_map(top, TRUE);
      gtk_widget_show_all(top_);
      gtk_window_deiconify(top);
      gtk_window_present(top);
      gtk_widget_grab_focus(area_);
      break;
    case ShowCommand::kShowNoActivate:
      gtk_window_set_focus_on_map(top, FALSE);
      gtk_widget_show_all(top_);
      break;
    case ShowCommand::kMinimize:
      gtk_window_iconify(top);
      break;
  }
  atk::surfaceChanged(area_);
}

void GtkWindowHost::bringToFront() {
  GtkWindow* top = GTK_WINDOW(top_);
  gtk_window_deiconify(top);
  // Above every window for the raise, then back among the others.
  const bool above = gtk_window_get_transient_for(top) != nullptr;
  gtk_window_set_keep_above(top, TRUE);
  gtk_window_present(top);
  if (!above) gtk_window_set_keep_above(top, FALSE);
  // Window managers may take the activation without a restack: ask for the top of the stack too.
  if (GdkWindow* native = gtk_widget_get_window(top_)) gdk_window_raise(native);
}

Rect GtkWindowHost::frame() const {
  int x = 0;
  int y = 0;
  GdkWindow* gdk = gtk_widget_get_window(area_);
  if (gdk != nullptr) {
    gdk_window_get_origin(gdk, &x, &y);
  } else {
    gtk_window_get_position(GTK_WINDOW(top_), &x, &y);
  }
  return Rect{x, y, x + size_.width, y + size_.height};
}

void GtkWindowHost::setFrame(const Rect& frame) {
  gtk_window_move(GTK_WINDOW(top_), frame.left, frame.top);
  gtk_window_resize(GTK_WINDOW(top_), frame.width(), frame.height());
}

Rect GtkWindowHost::workArea() const {
  GdkDisplay* display = gtk_widget_get_display(top_);
  GdkWindow* gdk = gtk_widget_get_window(top_);
  GdkMonitor* monitor = gdk != nullptr ? gdk_display_get_monitor_at_window(display, gdk)
                                       : gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return Rect{0, 0, size_.width, size_.height};
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  return Rect{area.x, area.y, area.x + area.width, area.y + area.height};
}

bool GtkWindowHost::startTimer(uint32_t id, uint32_t periodMs) {
  stopTimer(id);
  auto* data = new TimerData{&window_, id};
  const guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, periodMs, onTimer, data,
                                          [](gpointer p) { delete static_cast<TimerData*>(p); });
  if (source == 0) return false;
  timers_[id] = source;
  return true;
}

void GtkWindowHost::stopTimer(uint32_t id) {
  auto found = timers_.find(id);
  if (found == timers_.end()) return;
  g_source_remove(found->second);
  timers_.erase(found);
}

gboolean GtkWindowHost::onTimer(gpointer data) {
  // The message may stop this timer or close the window, freeing |data|: read it first.
  const TimerData timer = *static_cast<TimerData*>(data);
  WindowMessage message;
  message.type = MessageType::kTimer;
  message.timerId = timer.id;
  timer.window->deliver(message);
  return G_SOURCE_CONTINUE;
}

std::wstring GtkWindowHost::clipboardText() {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gchar* text = gtk_clipboard_wait_for_text(clipboard);
  if (text == nullptr) return {};
  std::wstring wide = utility::utf8ToWide(text);
  g_free(text);
  return wide;
}

void GtkWindowHost::setClipboardText(std::wstring_view text) {
  const std::string bytes = utf8(text);
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_set_text(clipboard, bytes.c_str(), static_cast<gint>(bytes.size()));
}

void GtkWindowHost::openDropList(Combo& combo) {
  if (menu_ != nullptr) gtk_widget_destroy(menu_);
  menu_ = gtk_menu_new();
  g_signal_connect(menu_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     static_cast<GtkWindowHost*>(self)->menu_ = nullptr;
                   }),
                   this);
  for (int i = 0; i < combo.itemCount(); ++i) {
    GtkWidget* item = gtk_menu_item_new_with_label(utf8(combo.item(i)->text).c_str());
    g_object_set_data(G_OBJECT(item), "tarnwick-index", GINT_TO_POINTER(i));
    g_object_set_data(G_OBJECT(item), "tarnwick-combo", &combo);
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* chosen, gpointer self) {
                       auto* host = static_cast<GtkWindowHost*>(self);
                       auto* box = static_cast<Combo*>(g_object_get_data(G_OBJECT(chosen), "tarnwick-combo"));
                       const int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(chosen), "tarnwick-index"));
                       host->window_.dropListChosen(*box, index);
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
  }
  gtk_widget_show_all(menu_);
  const Rect& r = combo.rect();
  GdkRectangle anchor{r.left, r.top, r.width(), r.height()};
  gtk_menu_popup_at_rect(GTK_MENU(menu_), gtk_widget_get_window(area_), &anchor,
                         GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
}

void GtkWindowHost::setCursor(Cursor cursor) {
  GdkWindow* gdk = gtk_widget_get_window(area_);
  if (gdk == nullptr) return;
  const char* name = cursor == Cursor::kHand ? "pointer" : cursor == Cursor::kText ? "text" : "default";
  GdkCursor* shape = gdk_cursor_new_from_name(gdk_window_get_display(gdk), name);
  gdk_window_set_cursor(gdk, shape);
  if (shape != nullptr) g_object_unref(shape);
}

gboolean GtkWindowHost::onDraw(GtkWidget* /*widget*/, cairo_t* cr, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  host->window_.relayout();
  if (host->desktop_.painter()) {
    host->desktop_.painter()(cr, host->window_,
                             Rect{clip.x, clip.y, clip.x + clip.width, clip.y + clip.height});
  } else {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
  }
  return TRUE;
}

gboolean GtkWindowHost::onButton(GtkWidget* /*widget*/, GdkEventButton* event, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
  const Point at{static_cast<int>(event->x), static_cast<int>(event->y)};
  if (event->type == GDK_BUTTON_PRESS) {
    gtk_widget_grab_focus(host->area_);
    // The caption drags the window and the size box resizes it, by the window manager.
    const WindowArea area = host->window_.isEnabled() ? host->window_.areaAt(at) : WindowArea::kClient;
    GtkWindow* top = GTK_WINDOW(host->top_);
    const int x = static_cast<int>(event->x_root);
    const int y = static_cast<int>(event->y_root);
    auto resize = [&](GdkWindowEdge edge) {
      gtk_window_begin_resize_drag(top, edge, GDK_BUTTON_PRIMARY, x, y, event->time);
      return TRUE;
    };
    switch (area) {
      case WindowArea::kCaption:
        gtk_window_begin_move_drag(top, GDK_BUTTON_PRIMARY, x, y, event->time);
        return TRUE;
      case WindowArea::kLeft: return resize(GDK_WINDOW_EDGE_WEST);
      case WindowArea::kRight: return resize(GDK_WINDOW_EDGE_EAST);
      case WindowArea::kTop: return resize(GDK_WINDOW_EDGE_NORTH);
      case WindowArea::kBottom: return resize(GDK_WINDOW_EDGE_SOUTH);
      case WindowArea::kTopLeft: return resize(GDK_WINDOW_EDGE_NORTH_WEST);
      case WindowArea::kTopRight: return resize(GDK_WINDOW_EDGE_NORTH_EAST);
      case WindowArea::kBottomLeft: return resize(GDK_WINDOW_EDGE_SOUTH_WEST);
      case WindowArea::kBottomRight: return resize(GDK_WINDOW_EDGE_SOUTH_EAST);
      case WindowArea::kClient: break;
    }
  }
  host->deliverInput(InputEvent::pointer(
      event->type == GDK_BUTTON_PRESS ? InputType::kPointerDown : InputType::kPointerUp, at,
      modifiersOf(event->state)));
  return TRUE;
}

gboolean GtkWindowHost::onMotion(GtkWidget* /*widget*/, GdkEventMotion* event, gpointer self) {
  static_cast<GtkWindowHost*>(self)->deliverInput(InputEvent::pointer(
      InputType::kPointerMove, Point{static_cast<int>(event->x), static_cast<int>(event->y)},
      modifiersOf(event->state)));
  return TRUE;
}

gboolean GtkWindowHost::onLeave(GtkWidget* /*widget*/, GdkEventCrossing* event, gpointer self) {
  // Crossings into a child window of our own (a grab while pressed) are not leaving.
  if (event->mode != GDK_CROSSING_NORMAL) return FALSE;
  static_cast<GtkWindowHost*>(self)->deliverInput(InputEvent::pointer(InputType::kPointerLeave, Point{}));
  return TRUE;
}

gboolean GtkWindowHost::onScroll(GtkWidget* /*widget*/, GdkEventScroll* event, gpointer self) {
  int steps = 0;
  if (event->direction == GDK_SCROLL_UP) steps = 1;
  if (event->direction == GDK_SCROLL_DOWN) steps = -1;
  if (event->direction == GDK_SCROLL_SMOOTH) {
    gdouble dx = 0;
    gdouble dy = 0;
    gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), &dx, &dy);
    steps = dy < 0 ? 1 : dy > 0 ? -1 : 0;
  }
  if (steps == 0) return FALSE;
  static_cast<GtkWindowHost*>(self)->deliverInput(
      InputEvent::wheel(Point{static_cast<int>(event->x), static_cast<int>(event->y)}, steps));
  return TRUE;
}

gboolean GtkWindowHost::onKey(GtkWidget* /*widget*/, GdkEventKey* event, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  const unsigned modifiers = modifiersOf(event->state);
  // While a text control has the focus, the input method sees plain keys first.
  if (host->window_.isEnabled() && host->window_.textInputActive() &&
      (modifiers & (kControl | kAlt)) == 0) {
    const Rect r = host->window_.textInputArea();
    GdkRectangle where{r.left, r.top, r.width(), r.height()};
    gtk_im_context_set_cursor_location(host->im_, &where);
    if (gtk_im_context_filter_keypress(host->im_, event)) return TRUE;
  }
  host->deliverInput(InputEvent::keyDown(keyOf(event->keyval), modifiers));
  return TRUE;
}

void GtkWindowHost::onCommit(GtkIMContext* /*context*/, gchar* text, gpointer self) {
  static_cast<GtkWindowHost*>(self)->deliverInput(InputEvent::typed(utility::utf8ToWide(text)));
}

gboolean GtkWindowHost::onFocus(GtkWidget* /*widget*/, GdkEventFocus* event, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  if (event->in) {
    gtk_im_context_focus_in(host->im_);
  } else {
    gtk_im_context_focus_out(host->im_);
  }
  host->deliverInput(InputEvent::focus(event->in != FALSE));
  return FALSE;
}

gboolean GtkWindowHost::onDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) {
  WindowMessage message;
  message.type = MessageType::kCloseRequest;
  static_cast<GtkWindowHost*>(self)->window_.deliver(message);
  return TRUE;  // the window decides; the window base destroys the native window itself
}

gboolean GtkWindowHost::onWindowState(GtkWidget* /*widget*/, GdkEventWindowState* event, gpointer self) {
  static_cast<GtkWindowHost*>(self)->minimized_ = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  return FALSE;
}

void GtkWindowHost::onSize(GtkWidget* /*widget*/, GdkRectangle* allocation, gpointer self) {
  auto* host = static_cast<GtkWindowHost*>(self);
  const Size size{allocation->width, allocation->height};
  if (size == host->size_ && host->window_.clientSize() == size) return;
  host->size_ = size;
  WindowMessage message;
  message.type = MessageType::kSize;
  message.size = size;
  host->window_.deliver(message);
}

}  // namespace

std::unique_ptr<WindowHostFactory> createDesktopHost(const TextMeasurer& measurer,
                                                     CairoPaintHook painter, LayoutFileReader files) {
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkDesktop>(measurer, std::move(painter), std::move(files));
}

}  // namespace toolkit
