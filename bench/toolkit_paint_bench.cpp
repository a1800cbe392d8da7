// A window of the installer's size (640 x 400, 60 controls) built from its layout text,
// laid out and painted offscreen for the first time, against a reference in the same run that
// draws the same rectangles, images and texts with Cairo and Pango directly (no toolkit). At the
// end the ratio toolkit / reference is printed, and the first frame's time against its aim (5 ms).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "bench/ratio_reporter.h"
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/core/layout_loader.h"
#include "utility/base/strings.h"

namespace {

const std::map<std::wstring, std::vector<uint8_t>>& imageFiles() {
  static const std::map<std::wstring, std::vector<uint8_t>> files = {
      {L"common/btn_bg.png", testsupport::solidPng(60, 28, 0xFF268FD6)},
      {L"common/btn_bg_default.png", testsupport::solidPng(60, 28, 0xFFE0E0E0)},
      {L"browse_button.png", testsupport::solidPng(84, 28, 0xFFCCCCCC)},
      {L"logo.png", testsupport::solidPng(120, 32, 0xFF17171A)},
  };
  return files;
}

toolkit::ImageFileReader reader() {
  return [](const std::wstring& name) {
    auto found = imageFiles().find(name);
    return found == imageFiles().end() ? std::vector<uint8_t>{} : found->second;
  };
}

// The main window's shape: title bar, a choose page with path row, options and buttons, a
// progress page, a footer: 60 controls.
const std::wstring& layoutText() {
  static const std::wstring text = [] {
    std::wstring x =
        L"<Window size=\"640,400\" caption=\"0,0,220,40\">"
        L"<Font id=\"0\" name=\"\u5FAE\u8F6F\u96C5\u9ED1\" size=\"12\" default=\"true\"/>"
        L"<Font id=\"1\" name=\"\u5FAE\u8F6F\u96C5\u9ED1\" size=\"14\"/>"
        L"<Font id=\"2\" name=\"\u5FAE\u8F6F\u96C5\u9ED1\" size=\"16\"/>"
        L"<Font id=\"10\" name=\"\u5FAE\u8F6F\u96C5\u9ED1\" size=\"16\" bold=\"true\"/>"
        L"<VerticalLayout bkcolor=\"#FFF5F7FA\">"
        L"<HorizontalLayout height=\"40\" bkcolor=\"#FFFFFFFF\" inset=\"8,4,8,4\" childpadding=\"8\">"
        L"<Control width=\"120\" bkimage=\"logo.png\"/>"
        L"<Label text=\"Tarnwick installer\" font=\"1\"/>"
        L"<Combo width=\"100\" text=\"English\"/>"
        L"<Button width=\"32\" normalimage=\"file='common/btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'\"/>"
        L"<Button width=\"32\" normalimage=\"file='common/btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'\"/>"
        L"</HorizontalLayout>"
        L"<TabLayout name=\"maintab\">"
        L"<VerticalLayout inset=\"24,16,24,16\" childpadding=\"8\">"
        L"<Label text=\"Install Tarnwick 9\" font=\"10\" height=\"28\"/>"
        L"<Text text=\"Fast, light and <c #268fd6>free</c>: read the <u>licence</u>\" height=\"20\"/>"
        L"<HorizontalLayout height=\"28\" childpadding=\"8\">"
        L"<Edit text=\"C:\\Program Files\\Tarnwick\" bkcolor=\"#FFFFFFFF\" bordersize=\"1\" bordercolor=\"#FFCCCCCC\" textpadding=\"6,0,6,0\"/>"
        L"<Button width=\"28\" normalimage=\"file='browse_button.png' source='0,0,28,28' corner='4,4,4,4'\"/>"
        L"</HorizontalLayout>";
    for (int i = 0; i < 8; ++i) {
      x += L"<HorizontalLayout height=\"20\" childpadding=\"8\">"
           L"<Option width=\"20\" group=\"g\" bkcolor=\"#FFDDDDDD\"/>"
           L"<Label text=\"Option number " + std::to_wstring(i) + L" with a longer description\" endellipsis=\"true\"/>"
           L"<Label width=\"80\" text=\"12.5 GB\" align=\"right\" textcolor=\"#FF666666\"/>"
           L"</HorizontalLayout>";
    }
    x += L"<HorizontalLayout height=\"36\" childpadding=\"16\">"
         L"<Control/>"
         L"<Button width=\"140\" text=\"Install now\" font=\"2\" align=\"center\" textcolor=\"#FF17171A\" "
         L"normalimage=\"file='common/btn_bg.png' source='0,0,20,28' corner='6,6,6,6'\"/>"
         L"<Button width=\"100\" text=\"Custom\" align=\"center\" "
         L"normalimage=\"file='common/btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'\"/>"
         L"</HorizontalLayout>"
         L"</VerticalLayout>"
         L"<VerticalLayout inset=\"24,16,24,16\" childpadding=\"8\">";
    for (int i = 0; i < 4; ++i) {
      x += L"<Label text=\"Downloading... (45%)\" height=\"20\"/>"
           L"<Progress height=\"8\" value=\"45\" forecolor=\"#FF268FD6\" bkcolor=\"#FFDDDDDD\"/>";
    }
    x += L"</VerticalLayout></TabLayout>"
         L"<HorizontalLayout height=\"24\" inset=\"24,0,24,0\" bkcolor=\"#FFEEEEEE\">"
         L"<Label text=\"Version 9.0\" textcolor=\"#FF666666\"/><Label text=\"Help\" align=\"right\"/>"
         L"</HorizontalLayout></VerticalLayout></Window>";
    return x;
  }();
  return text;
}

int countControls(toolkit::Control& control) {
  int n = 1;
  if (toolkit::Container* container = control.asContainer()) {
    for (int i = 0; i < container->count(); ++i) n += countControls(*container->childAt(i));
  }
  return n;
}

// Build from text, lay out and paint the first frame with a fresh image cache.
void BM_Toolkit_FirstFrame(benchmark::State& state) {
  int controls = 0;
  for (auto _ : state) {
    toolkit::LoadedLayout layout = toolkit::loadLayout(layoutText(), L"bench.xml");
    if (!layout.ok()) {
      state.SkipWithError("layout broken");
      break;
    }
    toolkit::OffscreenRenderer renderer(reader());
    renderer.fonts().setLayoutFonts(layout.window.fonts);
    toolkit::OffscreenImage image = renderer.render(*layout.root, layout.window.size);
    benchmark::DoNotOptimize(image.pixels.data());
    controls = countControls(*layout.root);
  }
  state.counters["controls"] = controls;
}

// A repaint of the laid-out window (images cached).
void BM_Toolkit_Repaint(benchmark::State& state) {
  toolkit::LoadedLayout layout = toolkit::loadLayout(layoutText(), L"bench.xml");
  toolkit::OffscreenRenderer renderer(reader());
  renderer.fonts().setLayoutFonts(layout.window.fonts);
  renderer.render(*layout.root, layout.window.size);
  for (auto _ : state) {
    toolkit::OffscreenImage image = renderer.paint(*layout.root, layout.window.size);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}

// The layout pass alone, as the window base runs it before every pointer event (texts measured
// by the painter): set against a repaint to see whether a change flag would pay.
void BM_Toolkit_LayoutPass(benchmark::State& state) {
  toolkit::LoadedLayout layout = toolkit::loadLayout(layoutText(), L"bench.xml");
  toolkit::OffscreenRenderer renderer(reader());
  renderer.fonts().setLayoutFonts(layout.window.fonts);
  renderer.render(*layout.root, layout.window.size);
  const toolkit::Size size = layout.window.size;
  for (auto _ : state) {
    layout.root->arrange(toolkit::Rect{0, 0, size.width, size.height}, renderer.measurer());
  }
}

// The reference: the same frame drawn straight with Cairo and Pango from a list of what the
// toolkit drew (rectangles, images decoded each time, texts), with no tree, layout or parsing.
struct Drawn {
  toolkit::Rect rect;
  uint32_t color = 0;
  std::wstring image;
  std::string text;
  int size = 12;
};

const std::vector<Drawn>& referenceList() {
  static const std::vector<Drawn> list = [] {
    std::vector<Drawn> out;
    toolkit::LoadedLayout layout = toolkit::loadLayout(layoutText(), L"bench.xml");
    toolkit::OffscreenRenderer renderer(reader());
    renderer.fonts().setLayoutFonts(layout.window.fonts);
    renderer.render(*layout.root, layout.window.size);
    std::vector<toolkit::Control*> stack{layout.root.get()};
    while (!stack.empty()) {
      toolkit::Control* c = stack.back();
      stack.pop_back();
      if (!c->visible()) continue;
      Drawn d;
      d.rect = c->rect();
      d.color = c->bkColor();
      if (auto* button = dynamic_cast<toolkit::Button*>(c)) d.image = button->normalImage().file;
      if (!c->bkImage().empty()) d.image = c->bkImage().file;
      d.text = utility::wideToUtf8(c->text());
      d.size = renderer.fonts().font(c->font()).size;
      out.push_back(d);
      if (toolkit::Container* container = c->asContainer()) {
        for (int i = 0; i < container->count(); ++i) stack.push_back(container->childAt(i));
      }
    }
    return out;
  }();
  return list;
}

void BM_Reference_CairoPango(benchmark::State& state) {
  const std::vector<Drawn>& list = referenceList();
  for (auto _ : state) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 640, 400);
    cairo_t* cr = cairo_create(surface);
    PangoContext* context = pango_cairo_create_context(cr);
    std::map<std::wstring, cairo_surface_t*> images;
    for (const Drawn& d : list) {
      if ((d.color >> 24) != 0) {
        cairo_set_source_rgb(cr, ((d.color >> 16) & 0xFF) / 255.0, ((d.color >> 8) & 0xFF) / 255.0,
                             (d.color & 0xFF) / 255.0);
        cairo_rectangle(cr, d.rect.left, d.rect.top, d.rect.width(), d.rect.height());
        cairo_fill(cr);
      }
      if (!d.image.empty()) {
        cairo_surface_t*& image = images[d.image];
        if (image == nullptr) {
          const std::vector<uint8_t>& bytes = imageFiles().at(d.image);
          struct Source {
            const std::vector<uint8_t>* bytes;
            size_t at = 0;
          } source{&bytes};
          image = cairo_image_surface_create_from_png_stream(
              [](void* closure, unsigned char* data, unsigned int length) {
                auto* s = static_cast<Source*>(closure);
                if (s->at + length > s->bytes->size()) return CAIRO_STATUS_READ_ERROR;
                std::copy_n(s->bytes->data() + s->at, length, data);
                s->at += length;
                return CAIRO_STATUS_SUCCESS;
              },
              &source);
        }
        cairo_save(cr);
        cairo_rectangle(cr, d.rect.left, d.rect.top, d.rect.width(), d.rect.height());
        cairo_clip(cr);
        cairo_set_source_surface(cr, image, d.rect.left, d.rect.top);
        cairo_paint(cr);
        cairo_restore(cr);
      }
      if (!d.text.empty()) {
        PangoLayout* text = pango_layout_new(context);
        PangoFontDescription* font = pango_font_description_from_string("WenQuanYi Micro Hei");
        pango_font_description_set_absolute_size(font, d.size * PANGO_SCALE);
        pango_layout_set_font_description(text, font);
        pango_layout_set_text(text, d.text.c_str(), static_cast<int>(d.text.size()));
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, d.rect.left, d.rect.top);
        pango_cairo_show_layout(cr, text);
        pango_font_description_free(font);
        g_object_unref(text);
      }
    }
    for (auto& [name, image] : images) cairo_surface_destroy(image);
    g_object_unref(context);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    cairo_surface_destroy(surface);
  }
  state.counters["draws"] = static_cast<double>(list.size());
}

BENCHMARK(BM_Toolkit_FirstFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toolkit_Repaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toolkit_LayoutPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_CairoPango)->Unit(benchmark::kMillisecond);

// The toolkit's times against the reference's.
void printSummary(const bench::Times& times) {
  for (const char* name : {"BM_Toolkit_FirstFrame", "BM_Toolkit_Repaint", "BM_Toolkit_LayoutPass"}) {
    if (times.count(name) == 0 || bench::ratioOf(times, name, "BM_Reference_CairoPango") <= 0) continue;
    std::printf("%s / reference: %.2f\n", name, bench::ratioOf(times, name, "BM_Reference_CairoPango"));
  }
  if (const auto first = times.find("BM_Toolkit_FirstFrame"); first != times.end()) {
    std::printf("first frame (build + layout + paint): %.2f ms (aim: under 5 ms)\n", first->second);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter(printSummary);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
