// Images read through the skin as a window reads them: a "skin" folder beside this executable
// over the archive, and the enlarged variant from the same folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/skin_setup.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace toolkit {
namespace {

namespace fs = std::filesystem;

fs::path skinFolder() { return fs::path(utility::toHostPath(utility::ufile::moduleDir())) / "skin"; }

void writeSolidPng(const fs::path& path, int side, uint32_t argb) {
  fs::create_directories(path.parent_path());
  const std::vector<uint8_t> bytes = testsupport::solidPng(side, side, argb);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path.string();
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
  writeSolidPng(skinFolder() / "common" / "dot.png", 8, 0xFFFF0000u);
  writeSolidPng(skinFolder() / "commonEnalarge" / "dot.png", 16, 0xFF0000FFu);
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
