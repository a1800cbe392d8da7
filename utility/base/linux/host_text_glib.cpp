// Host bytes to text with GLib's UTF-8 validation.
#include <glib.h>

#include <algorithm>

#include "utility/base/strings.h"

namespace utility {

std::wstring hostTextToWide(std::string_view bytes) {
  std::wstring text;
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  while (at < end) {
    const gchar* validEnd = at;
    g_utf8_validate_len(at, static_cast<gsize>(end - at), &validEnd);
    text += utf8ToWide(std::string_view(at, static_cast<size_t>(validEnd - at)));
    at = validEnd;
    // The bytes up to the next valid UTF-8 character are the locale's text.
    const char* invalidEnd = at;
    while (invalidEnd < end &&
           g_utf8_get_char_validated(invalidEnd, static_cast<gssize>(end - invalidEnd)) >= static_cast<gunichar>(-2)) {
      ++invalidEnd;
    }
    if (invalidEnd > at) text += ansiToWide(std::string(at, invalidEnd));
    at = invalidEnd;
  }
  return text;
}

}  // namespace utility
