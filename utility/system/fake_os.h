// Older systems faked by development builds: TARNWICK_FAKE_OS lists facts, separated by commas
// ("xp", "win7", "32bit"; case and blanks do not matter). Release builds never fake one.
#pragma once

namespace utility {
namespace usystem {

// Whether TARNWICK_FAKE_OS lists |fact| (given in lower case).
bool isFakedOsFact(const wchar_t* fact);

}  // namespace usystem
}  // namespace utility
