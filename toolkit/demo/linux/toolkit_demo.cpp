// The toolkit's demo: one window of every control class from a layout packed like the skin (a
// 7z archive in the executable; a folder given with --skin overrides its files). It opens in a
// GTK window when there is a display, or headless with --screenshot.
//
//   toolkit_demo [--skin <folder>] [--layout <file>] [--notify] [--first-frame]
//   toolkit_demo --screenshot <out.png> [--scale <n>] [--skin <folder>] [--layout <file>]
//
// --notify prints every notification ("notify <type> <sender>[ <text>]") and, once the first
// frame is painted, "ready" and the client rectangle of each named control ("control <name> l t
// r b"). --first-frame prints "first-frame" once the first frame is painted (benchmarks).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "toolkit/painting/linux/cairo_paint.h"
#include "toolkit/painting/window_painting.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "toolkit/headless/headless_host.h"
#include "toolkit/skin_setup.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"

namespace {

using namespace toolkit;

struct Options {
  std::string screenshot;
  std::string skin;
  std::wstring layout = L"demo.xml";
  int scale = 1;
  bool notify = false;
  bool firstFrame = false;
};

void say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

class DemoWindow : public WindowImplBase {
 public:
  DemoWindow(std::wstring layout, bool print) : layout_(std::move(layout)), print_(print) {}

  std::wstring windowClassName() const override { return L"ToolkitDemo"; }
  std::wstring skinFile() const override { return layout_; }

  void notify(std::wstring_view type, Control& sender) override {
    if (print_) {
      std::string line = "notify " + utility::wideToUtf8(type) + " " + utility::wideToUtf8(sender.name());
      if (dynamic_cast<Edit*>(&sender) != nullptr || dynamic_cast<Combo*>(&sender) != nullptr) {
        line += " " + utility::wideToUtf8(sender.text());
      }
      say(line);
    }
    if (type == L"selectchanged" && (sender.name() == L"tab_controls" || sender.name() == L"tab_text")) {
      if (auto* pages = findControl<TabLayout>(L"pages"); pages != nullptr && static_cast<Option&>(sender).selected()) {
        pages->selectItem(sender.name() == L"tab_controls" ? 0 : 1);
        relayout();
        if (host() != nullptr) host()->invalidate(Rect{0, 0, clientSize().width, clientSize().height});
      }
    } else if (type == L"itemselect" && sender.name() == L"combo") {
      auto& combo = static_cast<Combo&>(sender);
      setStatus(L"Language: " + combo.item(combo.selectedIndex())->userData);
    } else if (type == L"click" && sender.name() == L"okbtn") {
      if (auto* progress = findControl<Progress>(L"progress"); progress != nullptr) {
        progress->setValue(progress->value() >= 100 ? 0 : progress->value() + 9);
        if (host() != nullptr) host()->invalidate(progress->rect());
      }
    }
    WindowImplBase::notify(type, sender);
  }

  void onFinalMessage() override { utility::MainLoop::quit(); }

  // "ready" and where each named control is, once.
  void printControls() {
    say("ready");
    std::vector<Control*> pending{root()};
    while (!pending.empty()) {
      Control* control = pending.back();
      pending.pop_back();
      if (!control->name().empty()) {
        const Rect& r = control->rect();
        say("control " + utility::wideToUtf8(control->name()) + " " + std::to_string(r.left) + " " +
            std::to_string(r.top) + " " + std::to_string(r.right) + " " + std::to_string(r.bottom));
      }
      if (Container* box = control->asContainer()) {
        for (int i = 0; i < box->count(); ++i) pending.push_back(box->childAt(i));
      }
    }
  }

 private:
  void setStatus(const std::wstring& text) {
    if (Control* status = findControl(L"status")) {
      status->setText(text);
      if (host() != nullptr) host()->invalidate(status->rect());
    }
  }

  std::wstring layout_;
  bool print_;
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--screenshot" && hasValue) {
      options.screenshot = argv[++i];
    } else if (arg == "--skin" && hasValue) {
      options.skin = argv[++i];
    } else if (arg == "--layout" && hasValue) {
      options.layout = utility::utf8ToWide(argv[++i]);
    } else if (arg == "--scale" && hasValue) {
      options.scale = std::atoi(argv[++i]);
      if (options.scale < 1 || options.scale > 4) return false;
    } else if (arg == "--notify") {
      options.notify = true;
    } else if (arg == "--first-frame") {
      options.firstFrame = true;
    } else {
      return false;
    }
  }
  return true;
}

// Measures nothing: every window has its painter's measurer.
class NoMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view, int, int) const override { return {}; }
};

int screenshot(const Options& options) {
  NoMeasurer none;
  HeadlessDesktop desktop(none);
  desktop.scaleFactor = options.scale;
  DemoWindow window(options.layout, options.notify);
  if (!window.create(nullptr, L"Toolkit demo")) return 1;
  window.show(ShowCommand::kShow);
  if (!desktop.hostOf(window)->screenshot(options.screenshot)) {
    std::fprintf(stderr, "cannot write %s\n", options.screenshot.c_str());
    return 1;
  }
  return 0;
}

int desktop(const Options& options) {
  NoMeasurer none;
  DemoWindow* shown = nullptr;
  bool painted = false;
  auto paint = [&](_cairo* context, WindowImplBase& window, const Rect& dirty) {
    paintWindow(context, window, dirty);
    if (painted || &window != shown) return;
    painted = true;
    if (options.firstFrame) say("first-frame");
    if (options.notify) shown->printControls();
  };
  std::unique_ptr<WindowHostFactory> host = createDesktopHost(none, paint);
  if (host == nullptr) {
    std::fprintf(stderr, "no display: use --screenshot <out.png>\n");
    return 2;
  }
  DemoWindow window(options.layout, options.notify);
  shown = &window;
  if (!window.create(nullptr, L"Toolkit demo")) return 1;
  window.centerWindow();
  window.show(ShowCommand::kShow);
  utility::MainLoop::quitOnTerminationSignals();
  utility::MainLoop::run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: toolkit_demo [--skin <folder>] [--layout <file>] [--notify] [--first-frame]\n"
                 "       toolkit_demo --screenshot <out.png> [--scale <1..4>] [--skin <folder>] [--layout <file>]\n");
    return 2;
  }
  utility::TaskDispatcher::create();
  // The demo skin is packed into the executable like the installer's (resource "ZIPRES" 129).
  loadSkinArchive(129, L"multi_language.tsv");
  if (!options.skin.empty()) {
    std::wstring folder = utility::utf8ToWide(options.skin);
    if (folder.back() != L'/') folder += L'/';
    setResourceFolder(folder);
  }
  useWindowPainting();
  return options.screenshot.empty() ? desktop(options) : screenshot(options);
}
