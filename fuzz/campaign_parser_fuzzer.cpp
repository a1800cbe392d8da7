// The campaign the installer reads from its own file name and its command line: what reaches the
// model is what the name and the arguments say, and nothing else.
//   Raw inputs: any module path and command line; the results keep their shapes.
//   Built inputs: "name=...|package=...|apkurl=..." in any order, case and quoting, with other
//   arguments around; the app carries exactly the texts given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_text.h"
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "model/package_name.h"
#include "utility/system/log.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void silent(const char*, int, const wchar_t*) {}

}  // namespace

// The model's launch steps, reached as its tests reach them.
class DownloaderModelTest {
 public:
  struct Result {
    std::wstring openid, package, googleId, language, configLanguage;
    int generation = 0;
    std::vector<AppInfo> apps;
  };

  static Result run(const std::wstring& modulePath, const std::wstring& commandLine, const std::wstring& builtIn) {
    ConfigImp::instance().language = L"en";
    ConfigImp::instance().setPlayer9();
    static DownloaderModel* model = new DownloaderModel();
    model->openid_ = builtIn;
    model->package_.clear();
    model->googleId_.clear();
    model->language_.clear();
    model->apps_.clear();
    model->_readLaunchName(modulePath);
    model->_readCommandLine(commandLine.c_str());
    return {model->openid_, model->package_, model->googleId_, model->language_, ConfigImp::instance().language,
            ConfigImp::instance().generation(), model->apps_};
  }
};

namespace {

// Texts as an argument value: no NUL (the command line ends there), no "|" (the argument
// separator), no quote (the command line's own quotes are taken off its ends), no blank at the
// ends (values are trimmed).
std::wstring asValue(std::wstring text) {
  std::wstring out;
  for (const wchar_t c : text) {
    if (c != L'\0' && c != L'|' && c != L'"') out.push_back(c);
  }
  while (!out.empty() && out.front() == L' ') out.erase(0, 1);
  while (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

void checkShapes(const DownloaderModelTest::Result& r, const std::wstring& builtIn) {
  check(r.generation == 3 || r.generation == 4 || r.generation == 9 || r.generation == 64);
  // The name's pieces are "_"-separated and trimmed: none of them holds "_" or ends in a blank.
  for (const std::wstring* piece : {&r.package, &r.language, &r.configLanguage}) {
    check(piece->find(L'_') == std::wstring::npos);
  }
  // Only a built-in campaign of "100" takes its campaign from the name.
  if (builtIn != L"100") check(r.openid == builtIn);
  if (r.openid != builtIn) check(!r.openid.empty() && r.openid.find(L'_') == std::wstring::npos);
  check(r.package.empty() || r.package.size() > 5);
  check(r.configLanguage.size() >= 1 && r.configLanguage.size() <= 3);
  check(r.language.size() <= 3);
  check(r.apps.size() <= 1);
  for (const AppInfo& app : r.apps) {
    check(!app.url.empty());
    for (const std::wstring* text : {&app.url, &app.name, &app.package}) {
      check(text->find(L'|') == std::wstring::npos);
      check(text->empty() || (text->front() != L' ' && text->back() != L' '));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  common::setLogHook(silent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool built = input.ConsumeBool();
  const std::wstring builtIn = input.ConsumeBool() ? L"100" : L"35036";
  const std::wstring modulePath = fuzztext::toWide(input.ConsumeRandomLengthString(160));

  if (!built) {
    std::wstring commandLine = fuzztext::toWide(input.ConsumeRemainingBytesAsString());
    commandLine = commandLine.substr(0, commandLine.find(L'\0'));
    checkShapes(DownloaderModelTest::run(modulePath, commandLine, builtIn), builtIn);
    return 0;
  }

  // Built: the three arguments (a value of each may be missing) among others, in fuzzed order.
  const char* kNames[] = {"name", "package", "apkurl"};
  std::wstring given[3];
  bool present[3];
  std::vector<std::wstring> arguments;
  for (int i = 0; i < 3; ++i) {
    present[i] = input.ConsumeBool();
    given[i] = asValue(fuzztext::toWide(input.ConsumeRandomLengthString(64)));
    if (!present[i]) {
      given[i].clear();
      continue;
    }
    std::wstring key(kNames[i], kNames[i] + std::char_traits<char>::length(kNames[i]));
    for (wchar_t& c : key) {
      if (input.ConsumeBool()) c = static_cast<wchar_t>(c - L'a' + L'A');  // keys ignore case
    }
    const std::wstring blank = input.ConsumeBool() ? L" " : L"";
    arguments.push_back(blank + key + blank + L"=" + blank + given[i] + blank);
  }
  const int others = input.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < others; ++i) {
    const wchar_t* kOther[] = {L"openid=1", L"apk", L"x=", L"=y", L"lang=en", L"", L"apkurl2=z"};
    arguments.insert(arguments.begin() + input.ConsumeIntegralInRange<size_t>(0, arguments.size()),
                     kOther[input.ConsumeIntegralInRange(0, 6)]);
  }
  for (size_t i = arguments.size(); i > 1; --i) {
    std::swap(arguments[i - 1], arguments[input.ConsumeIntegralInRange<size_t>(0, i - 1)]);
  }
  std::wstring commandLine;
  for (size_t i = 0; i < arguments.size(); ++i) commandLine += (i > 0 ? L"|" : L"") + arguments[i];
  if (input.ConsumeBool()) commandLine = L"\"" + commandLine + L"\"";

  const DownloaderModelTest::Result r = DownloaderModelTest::run(modulePath, commandLine, builtIn);
  checkShapes(r, builtIn);
  const std::wstring& url = given[2];
  // An app whose package is given but no Android package name may be refused; else it is there.
  const bool refusable = !given[1].empty() && !isAndroidPackageName(given[1]);
  if (url.empty()) {
    check(r.apps.empty());
  } else if (r.apps.empty()) {
    check(refusable);
  } else {
    check(r.apps[0].url == url && r.apps[0].name == given[0] && r.apps[0].package == given[1]);
  }
  return 0;
}
