// Images read through the skin as a window reads them: a "skin" folder beside this executable
// over the archive, and the enlarged variant from the same folder.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/test_fs.h"
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/skin_setup.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace toolkit {
namespace {

namespace fs = std::filesystem;

fs::path skinFolder() { return fs::path(utility::toHostPath(utility::ufile::moduleDir())) / "skin"; }

void writeSolidPng(const fs::path& path, int side, double red, double green, double blue) {
  fs::create_directories(path.parent_path());
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, red, green, blue);
  cairo_paint(cr);
  cairo_destroy(cr);
  ASSERT_EQ(cairo_surface_write_to_png(surface, path.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(surface);
}

class SkinImagesTest : public ::testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    std::error_code ignored;
    fs::remove_all(skinFolder(), ignored);
    utility::SkinArchive::instance().resetForTesting();
  }
};

TEST_F(SkinImagesTest, ImagesComeFromTheSkinFolderBesideTheExecutable) {
  writeSolidPng(skinFolder() / "common" / "dot.png", 8, 1, 0, 0);
  writeSolidPng(skinFolder() / "commonEnalarge" / "dot.png", 16, 0, 0, 1);
  setResourceFolder(utility::ufile::moduleDir() + L"skin");
  ASSERT_FALSE(resourceFolder().empty());

  Control control;
  ASSERT_FALSE(control.setAttribute(L"bkimage", L"file='common\\dot.png'"));
  OffscreenRenderer renderer;
  EXPECT_EQ(renderer.render(control, {8, 8}).pixel(4, 4), 0xFFFF0000u);
  EXPECT_EQ(renderer.render(control, {8, 8}, 2.0).pixel(8, 8), 0xFF0000FFu);
  EXPECT_EQ(renderer.imageDecodeCount(), 2);

  ASSERT_FALSE(control.setAttribute(L"bkimage", L"common/none.png"));
  EXPECT_EQ(renderer.render(control, {8, 8}).pixel(4, 4), 0u) << "a missing file draws nothing";
}

}  // namespace
}  // namespace toolkit
