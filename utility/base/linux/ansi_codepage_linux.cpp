#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>

#include "utility/base/ansi_codepage.h"

namespace utility {

namespace {

std::string detectCharset() {
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) {
    loc = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }
  std::string charset = "ANSI_X3.4-1968";
  if (loc != static_cast<locale_t>(nullptr)) {
    if (const char* name = nl_langinfo_l(CODESET, loc); name != nullptr && *name != '\0') {
      charset = name;
    }
    freelocale(loc);
  }
  return charset;
}

std::string charsetOf(unsigned codePage) {
  if (codePage == 0) return ansiCharset();
  if (codePage == 65001) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

struct Iconv {
  iconv_t handle;
  Iconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(handle);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
};

// Runs iconv over |in|, writing |replacement| and skipping |unit| input bytes at every
// sequence that cannot be converted.
std::string convert(Iconv& cd, const char* in, size_t inBytes, std::string_view replacement,
                    size_t unit) {
  std::string out;
  char chunk[4096];
  char* src = const_cast<char*>(in);
  size_t left = inBytes;
  while (left > 0) {
    char* dst = chunk;
    size_t room = sizeof(chunk);
    const size_t rc = iconv(cd.handle, &src, &left, &dst, &room);
    out.append(chunk, static_cast<size_t>(dst - chunk));
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (truncated input): replace one unit and go on.
    out.append(replacement);
    const size_t skip = std::min(unit, left);
    src += skip;
    left -= skip;
    iconv(cd.handle, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = chunk;
  size_t room = sizeof(chunk);
  iconv(cd.handle, nullptr, nullptr, &dst, &room);
  out.append(chunk, static_cast<size_t>(dst - chunk));
  return out;
}

}  // namespace

const std::string& ansiCharset() {
  static const std::string kCharset = detectCharset();
  return kCharset;
}

bool ansiIsUtf8() {
  static const bool kUtf8 = [] {
    std::string c = ansiCharset();
    for (char& ch : c) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return c == "UTF-8" || c == "UTF8";
  }();
  return kUtf8;
}

std::wstring codePageToWide(unsigned codePage, std::string_view bytes) {
  Iconv cd("WCHAR_T", charsetOf(codePage).c_str());
  if (!cd.valid()) return {};
  const wchar_t replacement = 0xFFFD;
  const std::string raw =
      convert(cd, bytes.data(), bytes.size(),
              std::string_view(reinterpret_cast<const char*>(&replacement), sizeof(wchar_t)), 1);
  std::wstring out(raw.size() / sizeof(wchar_t), L'\0');
  std::memcpy(out.data(), raw.data(), out.size() * sizeof(wchar_t));
  return out;
}

std::string wideToCodePage(unsigned codePage, std::wstring_view text) {
  Iconv cd(charsetOf(codePage).c_str(), "WCHAR_T");
  if (!cd.valid()) return {};
  return convert(cd, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                 "?", sizeof(wchar_t));
}

}  // namespace utility
