// A window host without a window system, for tests, screenshots and benchmarks. It records what
// the windows ask for (shown, title, icon, frame, enabled, stacking, timers, drop lists, tool
// tips, the pointer shape, repaints) and takes input injected by control name or by
// coordinates. Timers run as the main loop's task timers; screenshots go through a renderer that
// the painter library registers when it is linked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/window_host.h"
#include "toolkit/core/window_impl_base.h"
#include "utility/base/tasks.h"

namespace toolkit {

class HeadlessDesktop;

class HeadlessWindow : public WindowHost {
 public:
  HeadlessWindow(HeadlessDesktop& desktop, WindowImplBase& window, HeadlessWindow* owner,
                 const WindowStyle& style, Size clientSize);
  ~HeadlessWindow() override;

  // ---- WindowHost ----
  void setTitle(std::wstring_view title) override { title_ = std::wstring(title); }
  void setIcon(int resourceId) override { icon_ = resourceId; }
  void show(ShowCommand command) override;
  bool isVisible() const override { return visible_; }
  bool isMinimized() const override { return minimized_; }
  void bringToTop() override;
  void bringToFront() override;
  void setTopmost(bool topmost) override { topmost_ = topmost; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  Rect frame() const override { return frame_; }
  void setFrame(const Rect& frame) override;
  Rect workArea() const override;
  void invalidate(const Rect& area) override { invalidated_.push_back(area); }
  bool startTimer(uint32_t id, uint32_t periodMs) override;
  void stopTimer(uint32_t id) override;
  std::wstring clipboardText() override;
  void setClipboardText(std::wstring_view text) override;
  void openDropList(Combo& combo) override { dropList_ = &combo; }
  void setToolTip(std::wstring_view text) override { toolTip_ = std::wstring(text); }
  void setCursor(Cursor cursor) override { cursor_ = cursor; }
  int scaleFactor() const override;

  // ---- What the window asked for ----
  WindowImplBase& window() const { return window_; }
  HeadlessWindow* owner() const { return owner_; }
  const WindowStyle& style() const { return style_; }
  const std::wstring& title() const { return title_; }
  int icon() const { return icon_; }
  bool enabled() const { return enabled_; }
  bool topmost() const { return topmost_; }
  bool active() const;
  bool timerRunning(uint32_t id) const { return timers_.count(id) != 0; }
  // The combo whose drop list is open; null when none.
  Combo* dropList() const { return dropList_; }
  const std::wstring& toolTip() const { return toolTip_; }
  Cursor cursor() const { return cursor_; }
  // Areas asked to be painted again, oldest first; clearInvalidated forgets them.
  const std::vector<Rect>& invalidated() const { return invalidated_; }
  void clearInvalidated() { invalidated_.clear(); }

  // ---- Input, as a user would give it; each delivers to the window, which takes it or not ----
  // Pointer over the centre of the named control (laid out first); false when there is no
  // such control or it has no area.
  bool hover(std::wstring_view name);
  // Press and release at the centre of the named control.
  bool click(std::wstring_view name);
  // Press at the centre of the named control, without the release.
  bool press(std::wstring_view name);
  void moveTo(Point point, unsigned modifiers = kNoModifier);
  void pointerDown(Point point, unsigned modifiers = kNoModifier);
  void pointerUp(Point point, unsigned modifiers = kNoModifier);
  void clickAt(Point point, unsigned modifiers = kNoModifier);
  void leave();
  void wheel(Point point, int steps);
  void key(Key key, unsigned modifiers = kNoModifier);
  // Committed text, as typing or an input method gives it.
  void type(std::wstring_view text);
  // The window gains or loses the focus.
  void focus(bool in);
  // Chooses an item of the open drop list by index or by text; closes the list. False when no
  // list is open or there is no such item.
  bool chooseDropItem(int index);
  bool chooseDropItem(std::wstring_view text);
  // A press at |from| dragged to |to|: moves the window when |from| is on its caption (what a
  // window manager does with a caption drag). False when |from| is not on the caption.
  bool dragCaption(Point from, Point to);
  // The window manager's close (its close button, Alt+F4, the task bar): kCloseRequest.
  void requestClose();
  // Paints the window into a PNG file through the registered renderer; false without one.
  bool screenshot(const std::string& pngPath);

  // The centre of the named control, laid out first; false when absent or without area.
  bool centreOf(std::wstring_view name, Point& point);

 private:
  friend class HeadlessDesktop;
  void input(const InputEvent& event);

  HeadlessDesktop& desktop_;
  WindowImplBase& window_;
  HeadlessWindow* owner_;
  WindowStyle style_;
  std::wstring title_;
  int icon_ = 0;
  bool visible_ = false;
  bool minimized_ = false;
  bool enabled_ = true;
  bool topmost_ = false;
  Rect frame_;
  std::map<uint32_t, std::unique_ptr<utility::TaskTimer>> timers_;
  Combo* dropList_ = nullptr;
  std::wstring toolTip_;
  Cursor cursor_ = Cursor::kArrow;
  std::vector<Rect> invalidated_;
};

// Paints |window|'s controls at its client size into a PNG file; true when written.
using HeadlessRenderer = std::function<bool(WindowImplBase& window, const std::string& pngPath)>;
// Set by the painter library (or the program linking it); empty: no screenshots.
void setHeadlessRenderer(HeadlessRenderer renderer);

// The desktop of headless windows; the process's host factory while it exists (it puts back
// the factory that was there before when it goes).
class HeadlessDesktop : public WindowHostFactory {
 public:
  enum class BrokenLayout { kExit, kRecord };

  explicit HeadlessDesktop(const TextMeasurer& measurer, Rect workArea = Rect{0, 0, 1920, 1040});
  ~HeadlessDesktop() override;
  HeadlessDesktop(const HeadlessDesktop&) = delete;
  HeadlessDesktop& operator=(const HeadlessDesktop&) = delete;

  // Layouts by file name; once one is added, layouts are read from here only (else: the skin).
  void addLayout(std::wstring name, std::wstring_view text);
  // kExit (the default) prints the box's text to standard error and ends the process with exit
  // code 1, as a real host does; kRecord keeps the texts for brokenLayouts() and returns.
  void setBrokenLayout(BrokenLayout mode) { brokenMode_ = mode; }
  const std::vector<std::wstring>& brokenLayouts() const { return broken_; }
  // Runs once at the start of the next modal loop, with the loop's window on screen: the place
  // for a test to act on a modal box.
  void onNextModalLoop(std::function<void()> step) { modalStep_ = std::move(step); }
  int modalLoops() const { return modalLoops_; }

  // The windows now open, oldest first; the one of a window object; the newest of a class.
  const std::vector<HeadlessWindow*>& windows() const { return windows_; }
  HeadlessWindow* hostOf(const WindowImplBase& window) const;
  HeadlessWindow* find(std::wstring_view className) const;
  // Shown windows from the bottom to the top; the active window (null when none).
  std::vector<HeadlessWindow*> stacking() const;
  HeadlessWindow* activeWindow() const { return active_; }
  const Rect& workArea() const { return workArea_; }
  // The screen's device pixels per layout pixel (1 unless set).
  int scaleFactor = 1;
  // The desktop's text scale windows created from now on take (1 unless set).
  double textScaleSetting = 1.0;
  std::wstring clipboard;

  // ---- WindowHostFactory ----
  std::unique_ptr<WindowHost> createHost(WindowImplBase& window, WindowHost* owner,
                                         const WindowStyle& style, Size clientSize) override;
  const TextMeasurer& measurer() const override { return measurer_; }
  LayoutFileReader layoutFiles() const override;
  double textScale() const override { return textScaleSetting; }
  // Runs what is pending on the main loop until |done|; it does not wait for timers, so a loop
  // that nothing pending can end gives up (the window closes with -1).
  void runModalLoop(const std::function<bool()>& done) override;
  void brokenLayout(const LoadError& error) override;
  // ---- folder chooser: answers with the scripted folder (nothing: a cancel) ----
  std::optional<std::string> chooseFolder(WindowHost* owner, std::wstring_view title,
                                          const std::string& startFolder) override;
  void setChosenFolder(std::optional<std::string> folder) { chosenFolder_ = std::move(folder); }
  struct FolderRequest {
    WindowHost* owner;
    std::wstring title;
    std::string startFolder;
  };
  const std::vector<FolderRequest>& folderRequests() const { return folderRequests_; }

 private:
  friend class HeadlessWindow;
  void raise(HeadlessWindow* window);
  void activate(HeadlessWindow* window);
  void removed(HeadlessWindow* window);

  const TextMeasurer& measurer_;
  Rect workArea_;
  WindowHostFactory* previous_;
  std::map<std::wstring, std::vector<uint8_t>> layouts_;
  BrokenLayout brokenMode_ = BrokenLayout::kExit;
  std::vector<std::wstring> broken_;
  std::function<void()> modalStep_;
  int modalLoops_ = 0;
  std::optional<std::string> chosenFolder_;
  std::vector<FolderRequest> folderRequests_;
  std::vector<HeadlessWindow*> windows_;
  std::vector<HeadlessWindow*> zOrder_;  // bottom to top
  HeadlessWindow* active_ = nullptr;
};

}  // namespace toolkit
