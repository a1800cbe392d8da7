// The disk queries' Win32 part that tests look at: what a volume's storage device answers.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace helper::disk::win {

// What the storage stack answers for the volume of |drive| ("C:"): whether its disk incurs a
// seek penalty, whether TRIM is enabled. Nothing, with the system's code in |error|, when the
// device does not answer (a virtual disk, a driver without the query).
std::optional<bool> seekPenaltyOf(const std::wstring& drive, DWORD* error = nullptr);
std::optional<bool> trimEnabledOf(const std::wstring& drive, DWORD* error = nullptr);

// A solid-state disk is one with TRIM enabled; a disk that says it incurs a seek penalty is a
// spinning one whatever its TRIM; one that answers only that it has no seek penalty is taken as
// solid-state. Nothing when it answered neither question.
std::optional<bool> solidStateFrom(std::optional<bool> incursSeekPenalty, std::optional<bool> trimEnabled);

// Whether the volume's storage device holds removable media; nothing when it does not say.
std::optional<bool> removableMediaOf(const std::wstring& drive);

}  // namespace helper::disk::win
