// Start-up of the skin as the installer does it, with files placed beside this executable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_fs.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "utility/system/drive_table.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/ufile.h"

namespace toolkit {
namespace {

namespace fs = std::filesystem;

fs::path besideExecutable(const char* name) {
  return fs::path(utility::toHostPath(utility::ufile::moduleDir())) / name;
}

class SkinStartupTest : public ::testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    std::error_code ignored;
    fs::remove_all(besideExecutable("multi_language.tsv"), ignored);
    fs::remove_all(besideExecutable("skin"), ignored);
    resetTextsForTesting();
    utility::SkinArchive::instance().resetForTesting();
  }
  static void startUp(const std::wstring& locale) {
    setCurrentLanguage(locale);
    setResourceFolder(utility::ufile::moduleDir() + L"skin");
    loadSkinArchive(utility::SkinArchive::kResourceId, L"multi_language.tsv");
  }
};

TEST_F(SkinStartupTest, EverythingFromTheExecutable) {
  startUp(L"de_DE");
  EXPECT_EQ(resourceFolder(), L"");
  EXPECT_TRUE(utility::SkinArchive::instance().contains(L"language/downloader_de.xml"));
  EXPECT_EQ(langString("cancel"), L"Abbrechen");
  EXPECT_EQ(resolveSkinText(L"@sure"), L"OK");
}

TEST_F(SkinStartupTest, HindiShowsTheFirstLocaleColumn) {
  startUp(L"hi_IN");
  EXPECT_EQ(langString("cancel"), L"\u53d6\u6d88");
}

TEST_F(SkinStartupTest, TableBesideTheExecutableWins) {
  std::ofstream(besideExecutable("multi_language.tsv"), std::ios::binary)
      << "Code\tlanguage_code\ten_US\r\nLanguage\tlanguage_name\tEnglish\r\nLabel\tcancel\tStop\r\n";
  startUp(L"en_US");
  EXPECT_EQ(langString("cancel"), L"Stop");
  EXPECT_EQ(langString("sure"), L"sure");  // only that table counts
}

TEST_F(SkinStartupTest, OversizedTableBesideTheExecutableLeavesNoTexts) {
  {
    std::ofstream out(besideExecutable("multi_language.tsv"), std::ios::binary);
    const std::string row = "Label\tcancel\tStop\r\n";
    out << "Code\tlanguage_code\ten_US\r\nLanguage\tlanguage_name\tEnglish\r\n";
    for (size_t written = 0; written < 5u * 1024 * 1024; written += row.size()) out << row;
  }
  startUp(L"en_US");
  EXPECT_TRUE(textMap().empty());
  EXPECT_EQ(langString("Title_wndTitle"), L"Title_wndTitle");
  // The skin itself still comes from the archive.
  EXPECT_TRUE(utility::SkinArchive::instance().contains(L"multi_language.tsv"));
}

TEST_F(SkinStartupTest, SkinFolderBesideTheExecutable) {
  fs::create_directories(besideExecutable("skin") / "language");
  std::ofstream(besideExecutable("skin") / "language" / "downloader_en.xml", std::ios::binary)
      << "<StringBundle/>";
  startUp(L"en_US");
  EXPECT_EQ(resourceFolder(), utility::ufile::moduleDir() + L"skin\\");
  const std::vector<uint8_t> bytes =
      utility::SkinArchive::instance().loadFile(L"language\\downloader_en.xml");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<StringBundle/>");
  EXPECT_FALSE(utility::SkinArchive::instance().loadFile(L"language\\downloader_de.xml").empty());
}

TEST_F(SkinStartupTest, FoldersAndFifosNamedLikeTheTableCountAsMissing) {
  struct Case {
    const char* label;
    fs::path at;
    bool fifo;
  };
  const Case cases[] = {
      {"folder beside the executable", besideExecutable("multi_language.tsv"), false},
      {"FIFO beside the executable", besideExecutable("multi_language.tsv"), true},
      {"folder in the skin folder", besideExecutable("skin") / "multi_language.tsv", false},
      {"FIFO in the skin folder", besideExecutable("skin") / "multi_language.tsv", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    clean();
    fs::create_directories(c.at.parent_path());
    if (c.fifo) {
      ASSERT_TRUE(testfs::makeFifo(c.at.string()));
    } else {
      fs::create_directories(c.at);
    }
    startUp(L"de_DE");
    // The archived table serves, as if nothing were there.
    EXPECT_EQ(langString("cancel"), L"Abbrechen");
  }
}

}  // namespace
}  // namespace toolkit
