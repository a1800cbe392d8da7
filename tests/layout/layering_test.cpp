// The tree's architecture, checked from the sources: which layer may include which, and which
// files may call the operating system. A new arrow up the layers, or a platform header in a
// portable file, fails here before it spreads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each product layer, with the layers it may include (itself always). Longest prefix wins.
const std::map<std::string, std::set<std::string>> kLayers = {
    {"utility/base", {}},
    {"utility/system", {"utility/base"}},
    {"utility/skin", {"utility/base", "utility/system"}},
    {"deployment", {"utility/base", "utility/system"}},
    {"net", {"utility/base", "utility/system", "deployment"}},
    {"telemetry", {"utility/base", "utility/system", "deployment", "net"}},
    {"toolkit", {"utility/base", "utility/system", "utility/skin"}},
    {"model", {"utility/base", "utility/system", "utility/skin", "deployment", "net", "telemetry"}},
    {"ui", {"utility/base", "utility/system", "utility/skin", "deployment", "net", "telemetry", "model",
            "toolkit"}},
    {"app", {"utility/base", "utility/system", "utility/skin", "deployment", "net", "telemetry", "model",
             "toolkit", "ui"}},
};

// Headers that mean an operating-system or desktop call: allowed only in a platform folder.
const std::regex kPlatformInclude(
    R"(^(unistd|fcntl|pwd|grp|dirent|ifaddrs|iconv|langinfo|spawn|poll|dlfcn|termios|wctype|windows|shlobj|wininet)\.h$)"
    R"(|^(sys|linux|net|netinet|arpa|glib|gio|gdk|gtk|libsoup|cairo|pango|gdk-pixbuf|X11)/)"
    R"(|^(glib|glib-unix|gio/gio|cairo|gtk/gtk)\.h$)");

const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");

std::string layerOf(const std::string& path) {
  std::string best;
  for (const auto& [layer, allowed] : kLayers) {
    if (path.rfind(layer + "/", 0) == 0 && layer.size() > best.size()) best = layer;
  }
  return best;
}

bool inPlatformFolder(const std::string& path) {
  return path.find("/linux/") != std::string::npos || path.find("/win/") != std::string::npos;
}

struct Include {
  std::string file;
  int line;
  bool angled;
  std::string target;
};

std::vector<Include> productIncludes() {
  std::vector<Include> includes;
  const fs::path root(TARNWICK_SOURCE_DIR);
  for (const auto& [layer, allowed] : kLayers) {
    if (!fs::exists(root / layer)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      const std::string file = fs::relative(entry.path(), root).generic_string();
      std::ifstream in(entry.path());
      std::string text;
      std::smatch match;
      for (int line = 1; std::getline(in, text); ++line) {
        if (std::regex_search(text, match, kInclude)) {
          includes.push_back({file, line, match[1] == "<", match[2]});
        }
      }
    }
  }
  return includes;
}

TEST(Layout, IncludesPointDownTheLayersOnly) {
  const std::vector<Include> includes = productIncludes();
  ASSERT_GT(includes.size(), 100u) << "the sources were not found under " << TARNWICK_SOURCE_DIR;
  for (const Include& include : includes) {
    if (include.angled) continue;
    const std::string from = layerOf(include.file);
    const std::string to = layerOf(include.target);
    ASSERT_FALSE(to.empty()) << include.file << ":" << include.line << " includes \"" << include.target
                             << "\", which is in no product layer";
    EXPECT_TRUE(to == from || kLayers.at(from).count(to) == 1)
        << include.file << ":" << include.line << " (" << from << ") includes \"" << include.target
        << "\" of the higher or unrelated layer " << to;
  }
}

TEST(Layout, PlatformCallsStayInPlatformFolders) {
  for (const Include& include : productIncludes()) {
    if (!include.angled || inPlatformFolder(include.file)) continue;
    EXPECT_FALSE(std::regex_search(include.target, kPlatformInclude))
        << include.file << ":" << include.line << " includes <" << include.target
        << ">: platform calls belong in the layer's platform folder";
  }
}

TEST(Layout, PortableCodeUsesNoPlatformPrivateHeader) {
  for (const Include& include : productIncludes()) {
    if (include.angled || inPlatformFolder(include.file)) continue;
    EXPECT_FALSE(inPlatformFolder(include.target))
        << include.file << ":" << include.line << " includes the platform header \"" << include.target << "\"";
  }
}

// The checks themselves: a table of includes the rules must refuse or accept.
TEST(Layout, RulesRecogniseWhatTheyGuard) {
  struct Case {
    const char* header;
    bool platform;
  };
  const Case cases[] = {
      {"unistd.h", true},     {"sys/stat.h", true},   {"glib.h", true},       {"gio/gio.h", true},
      {"libsoup/soup.h", true}, {"gtk/gtk.h", true},  {"linux/magic.h", true}, {"windows.h", true},
      {"string", false},      {"curl/curl.h", false}, {"rapidjson/document.h", false},
      {"archive.h", false},   {"cstdio", false},      {"openssl/md5.h", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::regex_search(std::string(c.header), kPlatformInclude), c.platform) << c.header;
  }
  EXPECT_EQ(layerOf("utility/system/linux/disk_linux.cpp"), "utility/system");
  EXPECT_EQ(layerOf("net/linux/http_client_soup.cpp"), "net");
  EXPECT_EQ(layerOf("utilityx/a.h"), "");
  EXPECT_TRUE(inPlatformFolder("utility/base/linux/clock_linux.cpp"));
  EXPECT_FALSE(inPlatformFolder("utility/base/clock.h"));
  EXPECT_EQ(kLayers.at("utility/system").count("net"), 0u);
}

}  // namespace
