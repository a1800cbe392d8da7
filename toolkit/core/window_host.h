// What a window needs of the window system, as two small interfaces the hosts implement: a
// WindowHost per native window (showing, stacking, position, the enabled state, timers, the
// clipboard, drop lists, tool tips, the pointer shape, repainting) and one WindowHostFactory
// for the process (creating hosts, the text measurer, layout files, nested modal loops, the
// broken-layout exit). The hosts hand everything that happens to a window to
// WindowImplBase::deliver as a WindowMessage. All of it runs on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/input_event.h"
#include "toolkit/core/layout_loader.h"
#include "toolkit/core/text_measurer.h"

namespace toolkit {

class Combo;
class WindowImplBase;

enum class ShowCommand : uint8_t {
  kHide,
  kShow,            // shown, restored and given the focus (show-and-focus)
  kShowNoActivate,  // shown without taking the focus
  kMinimize,
  kRestore,
};

// Where in a window a press lands: the client area, the caption (a press there drags the
// window) or an edge of the size box (a press there resizes it).
enum class WindowArea : uint8_t {
  kClient,
  kCaption,
  kLeft,
  kTop,
  kRight,
  kBottom,
  kTopLeft,
  kTopRight,
  kBottomLeft,
  kBottomRight,
};

enum class MessageType : uint8_t {
  kInput,    // input: every pointer, key, text and focus event of the window
  kTimer,    // timerId: a window timer is due
  kSize,     // size: the client area has the new size
  kClose,    // result: close the window
  // The window manager's close (its close button, Alt+F4, the task bar): the window decides, as
  // for its own close button. The base ignores it while the window is disabled (a box over it
  // answers first) and otherwise closes with result 0.
  kCloseRequest,
  kDestroy,  // the window is being destroyed; the final message follows
};

struct WindowMessage {
  MessageType type = MessageType::kInput;
  InputEvent input;
  uint32_t timerId = 0;
  Size size;
  int result = 0;
};

// How the native window is made.
struct WindowStyle {
  bool topmost = false;     // kept above other windows
  bool toolWindow = false;  // no task bar entry
  bool dialog = false;      // a box: a dialog to the window manager and assistive technology
};

class WindowHost {
 public:
  // Destroying the host destroys the native window and stops its timers, without messages.
  virtual ~WindowHost() = default;

  virtual void setTitle(std::wstring_view title) = 0;
  // An icon resource of the executable by id.
  virtual void setIcon(int resourceId) = 0;
  virtual void show(ShowCommand command) = 0;
  virtual bool isVisible() const = 0;
  virtual bool isMinimized() const = 0;
  // Above the application's other windows.
  virtual void bringToTop() = 0;
  // Restored if minimised and raised above every window, without staying topmost.
  virtual void bringToFront() = 0;
  virtual void setTopmost(bool topmost) = 0;
  // A disabled native window refuses input too.
  virtual void setEnabled(bool enabled) = 0;
  // The window's outer rectangle in screen coordinates; its size is the client size.
  virtual Rect frame() const = 0;
  virtual void setFrame(const Rect& frame) = 0;
  // The work area of the monitor the window is on.
  virtual Rect workArea() const = 0;
  // |area| (client coordinates) must be painted again.
  virtual void invalidate(const Rect& area) = 0;
  // Delivers a kTimer message with |id| every |periodMs| until stopped; starting a running id
  // restarts it. False when no timer could be started.
  virtual bool startTimer(uint32_t id, uint32_t periodMs) = 0;
  virtual void stopTimer(uint32_t id) = 0;
  virtual std::wstring clipboardText() = 0;
  virtual void setClipboardText(std::wstring_view text) = 0;
  // Shows the items of |combo| below it; a choice comes back as WindowImplBase::dropListChosen.
  virtual void openDropList(Combo& combo) = 0;
  // Empty hides the tool tip.
  virtual void setToolTip(std::wstring_view text) = 0;
  virtual void setCursor(Cursor cursor) = 0;
  // Device pixels per layout pixel (2 and more on high-DPI screens: the enlarged images).
  virtual int scaleFactor() const { return 1; }
};

class WindowHostFactory {
 public:
  virtual ~WindowHostFactory() = default;
  // A hidden native window of |window|'s client size, owned by |owner| (null: none).
  virtual std::unique_ptr<WindowHost> createHost(WindowImplBase& window, WindowHost* owner,
                                                 const WindowStyle& style, Size clientSize) = 0;
  // Measures texts for layout and input of windows without a drawing of their own (a window
  // the painter library made a WindowDrawing for measures with that, at its scale).
  virtual const TextMeasurer& measurer() const = 0;
  // Where layout files come from; empty: the skin (folder, then archive).
  virtual LayoutFileReader layoutFiles() const { return {}; }
  // The desktop's text scale: how much larger than designed the user wants text (1: as
  // designed). Windows scale their fonts by it when they are created. A host without such a
  // setting keeps 1; the Windows host gives the system's text scale factor there.
  virtual double textScale() const { return 1.0; }
  // Runs the window system until |done| says so (a modal box's loop).
  virtual void runModalLoop(const std::function<bool()>& done) = 0;
  // A layout that cannot be built: shows |error|.text() in a box captioned "Duilib" and ends
  // the process with exit code 1. A host for tests may record it and return instead.
  virtual void brokenLayout(const LoadError& error) = 0;
  // ---- folder chooser ----
  // The system's folder chooser, modal to |owner|, titled |title|, opening at |startFolder|
  // (a host folder); the chosen host folder, nothing on cancel or when the host has none.
  virtual std::optional<std::string> chooseFolder(WindowHost* /*owner*/, std::wstring_view /*title*/,
                                                  const std::string& /*startFolder*/) {
    return std::nullopt;
  }
};

// The process's host factory (null until a host is set up). Main thread.
void setWindowHostFactory(WindowHostFactory* factory);
WindowHostFactory* windowHostFactory();

}  // namespace toolkit
