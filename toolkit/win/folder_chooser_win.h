// The system's folder chooser (the common item dialog in folder mode).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace toolkit::win {

// Runs the chooser modal to |owner| (may be null), titled |title|, opening at |startFolder| (a
// folder in UTF-8; empty or missing: the dialog's own choice). The chosen folder in UTF-8;
// nothing on cancel or when there is no chooser.
std::optional<std::string> chooseFolderModal(HWND owner, std::wstring_view title, const std::string& startFolder);

}  // namespace toolkit::win
