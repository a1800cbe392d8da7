// Texts of the campaign's apps that name files in the installation folder or reach a command
// line. They come from the remote document, so none may leave its folder or add an argument.
#pragma once

#include <string>

namespace apknames {

// |name| as a file name in one folder: path separators, the drive colon, quotes, the other
// characters Windows refuses in names ("*?<>|") and control characters become "_"; blanks and
// dots at either end are dropped (so ".." names nothing); at most 120 characters. Empty when
// nothing usable is left.
std::wstring safeFileStem(const std::wstring& name);

// A resolution for the console tool's "modify": one token of digits with the separators "x",
// "X", "*", "," or "." (such as "1280x720"), starting with a digit, at most 32 characters.
bool isSafeResolution(const std::wstring& resolution);

// |value| as one value of the emulator's launch parameters: the key separator "|", the extra
// separator ";", quotes and control characters become "_".
std::wstring safeLaunchValue(const std::wstring& value);

}  // namespace apknames
