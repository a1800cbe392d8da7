// The progress page's rate line ("12.4 MB/s · about 1 min left") in the current language: its
// texts from the text table, its numbers in the language's own decimal point and digits.
#pragma once

#include <cstdint>
#include <string>

#include "utility/base/transfer_rate.h"

namespace ui {

// The rate with a unit that keeps the number below 1000: bytes, then KB, MB and GB of 1024; one
// decimal below 100, none above. "0.5 MB/s" becomes "512 KB/s".
std::wstring rateText(double bytesPerSecond);

// The time left, rounded as a person would say it: seconds to 5 under a minute (at least 5),
// whole minutes under an hour, hours and tens of minutes beyond.
std::wstring timeLeftText(int64_t seconds);

// The whole line; empty while the estimate says nothing yet, the rate alone without a time left.
std::wstring downloadRateText(const utility::TransferRateEstimator::Estimate& estimate);

}  // namespace ui
