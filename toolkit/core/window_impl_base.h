// The base of every window built from a layout: it loads the layout named by the subclass
// (custom control classes through createControl), calls initWindow, turns the notifications of
// its controls into notify(type, sender), routes input to its controls, keeps window timers and
// shared fonts, and does every window-system operation through the WindowHost of the process's
// WindowHostFactory. Main thread only.
//
// Life: create() -> shown, used -> close(result) (posted) -> kClose message -> kDestroy message
// -> native window gone -> onFinalMessage(), which may delete the object.
//
// Fonts: one FontTable per window, read by the layout pass and the painter alike; which font wins
// for an id both the layout and the window code define: docs/architecture.md, "Fonts".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/accessibility.h"
#include "toolkit/core/control.h"
#include "toolkit/core/control_input.h"
#include "toolkit/core/font_table.h"
#include "toolkit/core/layout_loader.h"
#include "toolkit/core/measure_cache.h"
#include "toolkit/core/window_drawing.h"
#include "toolkit/core/window_host.h"
#include "utility/base/tasks.h"

namespace toolkit {

// The result codes of the usual ways to close.
inline constexpr int kResultOk = 1;      // close(), the "closebtn" default
inline constexpr int kResultCancel = 2;  // Escape, where the window closes on it

class WindowImplBase : private InputContext {
 public:
  WindowImplBase();
  // Destroys a native window still there, without messages.
  ~WindowImplBase() override;
  WindowImplBase(const WindowImplBase&) = delete;
  WindowImplBase& operator=(const WindowImplBase&) = delete;

  // ---- What a window class says ----
  virtual std::wstring windowClassName() const = 0;
  // The folder of the layout below the skin's root; empty: the root.
  virtual std::wstring skinFolder() const { return {}; }
  virtual std::wstring skinFile() const = 0;
  // The control-builder callback: a control for a tag the toolkit does not know, or null.
  virtual std::unique_ptr<Control> createControl(std::wstring_view tag);
  // Called once the layout is loaded and the native window exists (still hidden).
  virtual void initWindow() {}
  // Every notification of the window's controls. The default handles "click" on "closebtn"
  // (close with kResultOk) and on "minbtn" (minimise). Handlers end a window with close(),
  // never by deleting it: the event that led here is still being routed.
  virtual void notify(std::wstring_view type, Control& sender);
  // Every message of the window. Subclasses handle what they need and call the base for the
  // rest; the base's kClose destroys the window and may end with onFinalMessage deleting the
  // object, so nothing may touch it after that call returns.
  virtual bool handleMessage(const WindowMessage& message);
  // The last call on the window, after the native window is gone; may delete the object.
  virtual void onFinalMessage() {}
  // The key pre-filter: sees every key before the controls; true consumes it.
  virtual bool preFilterKey(const InputEvent& /*event*/) { return false; }
  // Whether Escape (unused by the focused control) closes the window with kResultCancel.
  virtual bool closesOnEscape() const { return false; }
  // ---- What assistive technology is told about the window (boxes say more) ----
  // The button Enter presses; null when none.
  virtual Control* defaultControl() const { return nullptr; }
  // What the window says, beyond its title (a box's message); plain text.
  virtual std::wstring accessibleDescription() const { return {}; }
  // The window's focus and default button, for describeAccessible.
  AccessibleContext accessibleContext() const;

  // ---- Life ----
  // Loads the layout and creates the hidden native window, owned by |owner| (may be null). A
  // broken layout goes to the factory's brokenLayout; false then, and when no host is set up.
  // Owned windows are destroyed before their owner, as the window system does. An object
  // creates one window in its life: a second create, even after a failed one, is refused.
  bool create(WindowImplBase* owner, std::wstring_view title = {}, const WindowStyle& style = {});
  bool isWindow() const { return host_ != nullptr; }
  // Posts the close: the window closes after the current event, with |result|.
  void close(int result = kResultOk);
  // Shows the window with the focus and runs a nested loop until it is closed; the owner is
  // disabled meanwhile and enabled again before the window goes. Returns the close's result (-1
  // when the window is gone or the loop ended without a close). The window must not delete
  // itself in onFinalMessage while it runs modally.
  int showModal();
  // The result the window was closed with; 0 while open.
  int resultCode() const { return result_; }
  WindowImplBase* owner() const { return owner_; }
  WindowHost* host() const { return host_.get(); }

  // ---- Window operations (no effect without a native window) ----
  void show(ShowCommand command);
  void showWindow(bool visible = true, bool takeFocus = true);
  void minimize() { show(ShowCommand::kMinimize); }
  void bringToTop();
  void bringToFront();
  void setTopmost(bool topmost);
  // Centres the window on its owner, or on its monitor's work area without one, and keeps it
  // inside that work area.
  void centerWindow();
  // A disabled window takes no input; a press it held ends without a click.
  void enable(bool enabled);
  bool isEnabled() const { return enabled_; }
  void setTitle(std::wstring_view title);
  const std::wstring& title() const { return title_; }
  void setIcon(int resourceId);
  // Whether the window is laid out right to left: taken from the toolkit's current language
  // (Arabic, Persian) when the window is created.
  bool rightToLeft() const { return root_ != nullptr && root_->rightToLeft(); }
  // Device pixels per layout pixel of the screen the window is on; 1 without a native window.
  int scaleFactor() const { return host_ != nullptr ? host_->scaleFactor() : 1; }

  // ---- Layout and controls ----
  const WindowDescription& description() const { return description_; }
  Size clientSize() const { return clientSize_; }
  Control* root() const { return root_.get(); }
  // The control of that name; null when there is none.
  Control* findControl(std::wstring_view name) const;
  template <class T>
  T* findControl(std::wstring_view name) const {
    return dynamic_cast<T*>(findControl(name));
  }
  // Places every control in the client area again (after controls were shown, hidden, added).
  // A client area too small for what its controls need (a larger text scale, a longer
  // translation) grows first, within the work area; it never shrinks here.
  void relayout();
  // The caption rectangle (client coordinates, left/top/right/bottom from the top-left corner)
  // and the size box (edge widths) come from the layout's Window element; a press on the
  // caption over no control that takes the focus drags the window.
  WindowArea areaAt(Point point) const;

  // ---- Input ----
  // The window's router: hot, pushed and focused controls, focus moves.
  InputRouter& input() { return *router_; }
  // Whether typed text has a control to go to (a host then feeds keys to its input method
  // first), and where that control is.
  bool textInputActive() const;
  Rect textInputArea() const;
  // The tool tip for where the pointer is; empty for none.
  std::wstring toolTip() const;

  // ---- Timers ----
  // Starts (or restarts) timer |id|: a kTimer message every |periodMs|. False without a
  // native window or when the host has no timer.
  bool setTimer(uint32_t id, uint32_t periodMs);
  void killTimer(uint32_t id);

  // ---- Shared fonts ----
  // Registered as the window's shared fonts (see fonts() for which wins). A change lays the window
  // out again and repaints it.
  void addFont(FontDescription font);
  void setDefaultFont(FontDescription font);
  // The font of |id|; -1 and ids nobody registered give the default font (the built-in one when
  // nobody named a default). Never null.
  const FontDescription* font(int id) const;
  // The table the layout pass and the painter read.
  const FontTable& fonts() const { return fonts_; }
  // Scales every font of the window by |scale| (the desktop's text scale, taken from the host
  // factory when the window is created; a host calls this when the setting changes): the
  // window is laid out again, and grows where its texts need more room (see relayout).
  void setTextScale(double scale);
  // What draws this window and measures its texts; null when no painter library made one.
  WindowDrawing* drawing() const { return drawing_.get(); }

  // ---- Entry points of the host ----
  void deliver(const WindowMessage& message);
  // The user chose item |index| of |combo|'s drop list (-1: closed without a choice). Dropped
  // when the window or the combo no longer takes input.
  void dropListChosen(Combo& combo, int index);

 private:
  struct ModalState {
    bool ended = false;
    int result = -1;
  };

  // InputContext
  const TextMeasurer& measurer() const override;
  std::wstring clipboardText() override;
  void setClipboardText(std::wstring_view text) override;
  void openDropList(Combo& combo) override;
  void invalidate(const Rect& area) override;

  void routeInput(const InputEvent& event);
  void updatePointerLooks();
  // Destroys the native window and ends with onFinalMessage (may delete this).
  void destroyWindow();
  void detachFromOwner();
  void fontsChanged();
  // Grows the client area to what the root's children need (relayout).
  void fitContent();

  WindowHostFactory* factory_ = nullptr;
  std::unique_ptr<WindowHost> host_;
  WindowImplBase* owner_ = nullptr;
  std::vector<WindowImplBase*> owned_;
  WindowDescription description_;
  std::unique_ptr<Control> root_;
  std::unique_ptr<InputRouter> router_;
  Size clientSize_;
  std::wstring title_;
  bool created_ = false;
  bool inInitWindow_ = false;
  bool enabled_ = true;
  int result_ = 0;
  std::shared_ptr<ModalState> modal_;
  FontTable fonts_;
  std::unique_ptr<WindowDrawing> drawing_;
  mutable MeasureCache measureCache_;
  std::wstring shownToolTip_;
  Cursor shownCursor_ = Cursor::kArrow;
  utility::TaskPoster poster_;
};

}  // namespace toolkit
