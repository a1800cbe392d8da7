// Windows hands text over as UTF-16 (GetCommandLineW, the wide file functions), which needs no
// decoding; the bytes of its narrow interfaces (GetCommandLineA, the C runtime's argv, the "A"
// file functions) are in the ANSI code page, with no UTF-8 guess.
#include <algorithm>
#include <climits>

#include "utility/base/strings.h"

namespace utility {

std::wstring hostTextToWide(std::string_view bytes) {
  return toWide(bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX)),
                kCodePageAnsi);
}

}  // namespace utility
