// Feeds arbitrary text to the layout loader as a layout and paints whatever tree it builds
// offscreen with the Cairo + Pango painter, at scale 1 and 2, with a few skin images (one in two
// sizes for the enlarged variant, one that is not an image).
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/core/layout_loader.h"

namespace {

std::wstring toText(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  return text;
}

const std::map<std::wstring, std::vector<uint8_t>>& files() {
  static const std::map<std::wstring, std::vector<uint8_t>> all = {
      {L"a.png", testsupport::solidPng(60, 28, 0xB33380CCu)},
      {L"Enalarge/a.png", testsupport::solidPng(120, 56, 0xB33380CCu)},
      {L"b.png", testsupport::solidPng(1, 1, 0xB33380CCu)},
      {L"c.png", {'n', 'o', 't', ' ', 'p', 'n', 'g'}},
  };
  return all;
}

}  // namespace

// Fontconfig and Pango keep their font caches for the whole process and cannot free them safely
// at exit: the leak check is told so, and still reports the toolkit's own leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Fontconfig is set up once, on a thread of Pango's, by the first text measured: done here so
  // that its allocations are not taken for a leak of the first input.
  toolkit::OffscreenRenderer renderer;
  renderer.measurer().measure(L"x\u4E2D", -1, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  toolkit::LoadedLayout loaded = toolkit::loadLayout(toText(data, size), L"fuzz.xml");
  if (!loaded.ok()) return 0;
  toolkit::Size window = loaded.window.size;
  // Frames of any size would only measure memory; the drawing paths are the same.
  if (window.width <= 0 || window.width > 400) window.width = 200;
  if (window.height <= 0 || window.height > 400) window.height = 100;
  toolkit::OffscreenRenderer renderer([](const std::wstring& name) {
    auto found = files().find(name);
    return found == files().end() ? std::vector<uint8_t>{} : found->second;
  });
  renderer.fonts().setLayoutFonts(loaded.window.fonts);
  for (const double scale : {1.0, 2.0}) {
    const toolkit::OffscreenImage image = renderer.render(*loaded.root, window, scale);
    if (image.width != static_cast<int>(window.width * scale)) __builtin_trap();
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
      __builtin_trap();
    }
  }
  if (renderer.imageDecodeCount() > static_cast<int>(files().size())) __builtin_trap();
  return 0;
}
