// The installer's XML reader against pugixml on the same documents, in the same run: the shipped
// string bundles and a generated 1 MiB document. Also the start-up cost of unpacking the whole
// skin archive. At the end the time ratios are printed (reader / pugixml).
#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive.h"
#include "utility/base/strings.h"
#include "utility/skin/xml_document.h"

namespace {

struct Document {
  std::string utf8;
  std::wstring wide;
};

std::span<const uint8_t> skinResource() {
  return utility::findResource(utility::SkinArchive::kResourceType, utility::SkinArchive::kResourceId);
}

const std::vector<Document>& bundles() {
  static const std::vector<Document> docs = [] {
    std::vector<Document> out;
    utility::SkinArchive archive;
    archive.loadFromMemory(skinResource());
    for (const std::wstring& path : archive.paths()) {
      if (path.rfind(L"language/", 0) != 0) continue;
      const std::vector<uint8_t> bytes = archive.loadFile(path);
      Document d;
      d.utf8.assign(bytes.begin(), bytes.end());
      d.wide = utility::utf8ToWide(d.utf8);
      out.push_back(std::move(d));
    }
    return out;
  }();
  return docs;
}

// About 1 MiB of bundle-like markup: declaration, comments, nested groups, attributes in both
// quotes, character references, CDATA and non-ASCII text.
const Document& largeDocument() {
  static const Document doc = [] {
    std::mt19937 random(42);
    const char* words[] = {"install", "Tarnwick", "download", "\xE4\xB8\x8B\xE8\xBD\xBD",
                           "\xD0\x97\xD0\xB0\xD0\xB3\xD1\x80\xD1\x83\xD0\xB7\xD0\xBA\xD0\xB0",
                           "folder", "&amp;", "&lt;b&gt;", "&#x4e2d;", "please", "wait"};
    Document d;
    d.utf8 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- generated -->\r\n<Root ver=\"100\">\r\n";
    int group = 0;
    while (d.utf8.size() < (1u << 20)) {
      d.utf8 += "  <Group name='g" + std::to_string(group++) + "' kind=\"texts\">\r\n";
      for (int i = 0; i < 20; ++i) {
        d.utf8 += "    <String id=\"key_" + std::to_string(group) + "_" + std::to_string(i) + "\">";
        const int n = 3 + static_cast<int>(random() % 10);
        for (int w = 0; w < n; ++w) {
          if (w > 0) d.utf8 += ' ';
          d.utf8 += words[random() % (sizeof(words) / sizeof(words[0]))];
        }
        d.utf8 += "</String>\r\n";
      }
      d.utf8 += "    <Note><![CDATA[raw <text> & more]]></Note>\r\n    <Empty a='1' b=\"2\"/>\r\n";
      d.utf8 += "  </Group>\r\n";
    }
    d.utf8 += "</Root>\r\n";
    d.wide = utility::utf8ToWide(d.utf8);
    return d;
  }();
  return doc;
}

void BM_Reader_Bundles(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    for (const Document& d : bundles()) {
      utility::XmlDocument doc;
      if (!doc.load(d.wide)) state.SkipWithError("bundle refused");
      benchmark::DoNotOptimize(doc.root());
      bytes += d.utf8.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Pugixml_Bundles(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    for (const Document& d : bundles()) {
      pugi::xml_document doc;
      if (!doc.load_buffer(d.utf8.data(), d.utf8.size())) state.SkipWithError("bundle refused");
      benchmark::DoNotOptimize(doc.first_child());
      bytes += d.utf8.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Reader_1MiB(benchmark::State& state) {
  const Document& d = largeDocument();
  for (auto _ : state) {
    utility::XmlDocument doc;
    if (!doc.load(d.wide)) state.SkipWithError("document refused");
    benchmark::DoNotOptimize(doc.root());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

// As the installer reads a bundle: UTF-8 bytes converted to wide text, then parsed.
void BM_Reader_1MiB_FromUtf8(benchmark::State& state) {
  const Document& d = largeDocument();
  for (auto _ : state) {
    utility::XmlDocument doc;
    if (!doc.load(utility::utf8ToWide(d.utf8))) state.SkipWithError("document refused");
    benchmark::DoNotOptimize(doc.root());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

void BM_Pugixml_1MiB(benchmark::State& state) {
  const Document& d = largeDocument();
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_buffer(d.utf8.data(), d.utf8.size())) state.SkipWithError("document refused");
    benchmark::DoNotOptimize(doc.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

// pugixml given the same wide text the reader gets (it converts it to UTF-8 first).
void BM_Pugixml_1MiB_FromWide(benchmark::State& state) {
  const Document& d = largeDocument();
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_buffer(d.wide.data(), d.wide.size() * sizeof(wchar_t), pugi::parse_default,
                         pugi::encoding_wchar)) {
      state.SkipWithError("document refused");
    }
    benchmark::DoNotOptimize(doc.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.utf8.size()));
}

// Start-up: the whole skin archive unpacked into memory with every CRC checked.
void BM_SkinArchive_Unpack(benchmark::State& state) {
  const std::span<const uint8_t> data = skinResource();
  size_t unpacked = 0;
  for (auto _ : state) {
    utility::SkinArchive archive;
    if (!archive.loadFromMemory(data)) state.SkipWithError("archive damaged");
    unpacked = 0;
    for (const std::wstring& path : archive.paths()) unpacked += archive.loadFile(path).size();
    benchmark::DoNotOptimize(unpacked);
  }
  state.counters["packed_bytes"] = static_cast<double>(data.size());
  state.counters["unpacked_bytes"] = static_cast<double>(unpacked);
}

BENCHMARK(BM_Reader_Bundles);
BENCHMARK(BM_Pugixml_Bundles);
BENCHMARK(BM_Reader_1MiB);
BENCHMARK(BM_Reader_1MiB_FromUtf8);
BENCHMARK(BM_Pugixml_1MiB);
BENCHMARK(BM_Pugixml_1MiB_FromWide);
BENCHMARK(BM_SkinArchive_Unpack)->Unit(benchmark::kMillisecond);

// The ratios of the reader to its reference.
void printSummary(const bench::Times& times) {
  auto ratio = [&times](const char* what, const char* ours, const char* reference) {
    if (const double r = bench::ratioOf(times, ours, reference); r > 0) {
      std::printf("ratio reader/pugixml, %s: %.2f\n", what, r);
    }
  };
  ratio("shipped bundles", "BM_Reader_Bundles", "BM_Pugixml_Bundles");
  ratio("1 MiB document", "BM_Reader_1MiB", "BM_Pugixml_1MiB");
  ratio("1 MiB document, both from UTF-8", "BM_Reader_1MiB_FromUtf8", "BM_Pugixml_1MiB");
  ratio("1 MiB document, both from wide text", "BM_Reader_1MiB", "BM_Pugixml_1MiB_FromWide");
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
