#include "toolkit/headless/headless_host.h"
#include "toolkit/painting/window_painting.h"

namespace toolkit {

void useWindowPainting(ImageFileReader files) {
  useWindowDrawing(std::move(files));
  setHeadlessRenderer([](WindowImplBase& window, const std::string& pngPath) {
    return writePng(renderWindow(window), pngPath);
  });
}

}  // namespace toolkit
