#include "ui/download_rate_line.h"

#include <atomic>
#include <utility>

#include "ui/download_rate_text.h"
#include "utility/base/clock.h"
#include "utility/base/runable.h"

namespace ui {
namespace {

std::atomic<uint32_t (*)()> gTickSource{nullptr};

uint32_t readTick() {
  if (auto source = gTickSource.load()) return source();
  return utility::tickCount();
}

}  // namespace

DownloadRateLine::DownloadRateLine(std::function<void(const std::wstring&)> show) : show_(std::move(show)) {}

void DownloadRateLine::onProgress(int64_t received, int64_t total) {
  received_ = received;
  total_ = total;
  lastReportTick_ = readTick();
  estimator_.sample(lastReportTick_, received, total);
  if (timer_.id() == 0) timer_.start(kTickMs, makeRunable(this, &DownloadRateLine::onTick));
  show();
}

void DownloadRateLine::stop() {
  timer_.stop();
  estimator_.reset();
  received_ = 0;
  total_ = 0;
  shown_.clear();
  if (show_) show_(shown_);
}

void DownloadRateLine::onTick() {
  // Reports come about once a second; only a pause longer than that is sampled (the same byte
  // count, later), or the gaps between reports would read as slow seconds.
  const uint32_t now = readTick();
  if (now - lastReportTick_ < kQuietMs) return;
  estimator_.sample(now, received_, total_);
  show();
}

void DownloadRateLine::show() {
  std::wstring text = downloadRateText(estimator_.estimate());
  if (text == shown_) return;
  shown_ = std::move(text);
  if (show_) show_(shown_);
}

void DownloadRateLine::setTickSourceForTesting(uint32_t (*tick)()) { gTickSource.store(tick); }

}  // namespace ui
