// The registry store's key files as read from disk, whatever they hold: what is read writes back
// to the same key, a key file opens only under its own name, and a value set through the store
// reads back while every other value keeps its name, place and data.
//
// The store's file format lives in one platform file; it is compiled in here (not linked) so that
// its reader is instrumented and reachable without going through the disk for every check.
#include "utility/system/linux/registry_linux.cpp"  // NOLINT(bugprone-suspicious-include)

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "fuzz/fuzz_text.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

using utility::registry::KeyData;

bool sameKey(const KeyData& a, const KeyData& b) {
  if (a.name != b.name || a.values.size() != b.values.size()) return false;
  for (size_t i = 0; i < a.values.size(); ++i) {
    if (a.values[i].name != b.values[i].name || a.values[i].data != b.values[i].data) return false;
  }
  return true;
}

const std::wstring kKeyPath = L"Software\\Fuzz\\Key";

void silent(const char*, int, const wchar_t*) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A store of this run's own, under the temporary folder.
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/fuzz-registry-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) __builtin_trap();
  ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  common::setLogHook(silent);
  utility::registry::Key key;
  if (!key.create(kKeyPath)) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::wstring setName = fuzztext::toWide(input.ConsumeRandomLengthString(32));
  const std::wstring setData = fuzztext::toWide(input.ConsumeRandomLengthString(64));
  const std::string text = input.ConsumeRemainingBytesAsString();

  // What is read writes back to the same key.
  KeyData key;
  const bool parsed = utility::registry::parse(text, key);
  if (parsed) {
    KeyData again;
    check(utility::registry::parse(utility::registry::serialize(key), again));
    check(sameKey(key, again));
  }

  // The same bytes as the key's file on disk.
  const std::string file = utility::registry::storeFolder() + "/" + utility::registry::fileNameOf(kKeyPath);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) __builtin_trap();
  }
  utility::registry::Key store;
  const bool opened = store.open(kKeyPath);
  check(opened == (parsed && utility::registry::fold(key.name) == utility::registry::fold(kKeyPath)));
  if (!opened) return 0;
  const auto values = store.values();
  check(values.size() == key.values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    check(values[i].first == key.values[i].name && values[i].second == key.values[i].data);
    // A name reads the first value of that name.
    std::wstring read;
    check(store.queryString(values[i].first, read));
    check(read == utility::registry::findValue(key, values[i].first)->data);
  }

  // Text the store cannot hold as written is refused or changed the same way every time; a value
  // it takes reads back as set, and nothing else moves.
  if (!fuzztext::isValidText(setName) || !fuzztext::isValidText(setData)) return 0;
  if (!store.setString(setName, setData)) return 0;
  std::wstring read;
  check(store.queryString(setName, read) && read == setData);
  const auto after = store.values();
  const utility::registry::Value* replaced = utility::registry::findValue(key, setName);
  check(after.size() == values.size() + (replaced == nullptr ? 1 : 0));
  for (size_t i = 0; i < values.size(); ++i) {
    check(after[i].first == values[i].first);
    if (&key.values[i] != replaced) check(after[i].second == values[i].second);
  }
  utility::registry::Key reopened;
  check(reopened.open(kKeyPath) && reopened.name() == store.name());
  return 0;
}
