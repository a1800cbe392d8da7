// The player information document as the config thread reads it: a reply becomes the document
// rapidjson would build (or none when it nests too deep), and the installer address taken from
// it for any generation is an https address of valid text.
#include "fuzz/remote_document.h"

#include <cstddef>
#include <cstdint>
#include <cwctype>

#include "fuzz/fuzz_text.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  common::setLogHook(fuzzdoc::silent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  rapidjson::Document document;
  fuzzdoc::parseChecked(reply, document);
  if (!document.IsObject()) return 0;
  // The address the model keeps for each generation, read as _threadGetPlayerUrl reads it.
  for (const int generation : {4, 64, 9, 3}) {
    const auto player = document.FindMember(generationMember(generation));
    if (player == document.MemberEnd() || !player->value.IsObject()) continue;
    const auto url = player->value.FindMember("url");
    if (url == player->value.MemberEnd() || !url->value.IsString()) continue;
    const std::wstring address = utility::utf8ToWide(textOf(url->value));
    fuzzdoc::check(fuzztext::isValidText(address));
    if (!isHttps(address)) continue;
    fuzzdoc::check(address.size() >= 8);
    std::wstring scheme = address.substr(0, 8);
    for (wchar_t& c : scheme) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    fuzzdoc::check(scheme == L"https://");
    // Valid UTF-8 comes through unchanged.
    const std::string bytes = textOf(url->value);
    if (fuzztext::isValidUtf8(bytes)) fuzzdoc::check(utility::wideToUtf8(address) == bytes);
  }
  return 0;
}
