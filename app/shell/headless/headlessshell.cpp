#include "app/shell/headless/headlessshell.h"

#include <algorithm>

#include "app/gfx/png.h"

THeadlessShell::THeadlessShell(std::function<void(uint32_t)> advance)
    : Advance_(std::move(advance)) {}

void THeadlessShell::Step(uint64_t ms) {
  if (ms == 0) return;
  if (Advance_) Advance_(static_cast<uint32_t>(ms));
  NowMs += ms;
}

void THeadlessShell::RunFor(uint64_t ms) {
  const uint64_t end = NowMs + ms;
  while (Form_ != nullptr && !Form_->Closed()) {
    // A timer that was just enabled (or changed its interval) counts from now.
    const TZemTimer& zem = Form_->ZemTimer();
    const TZemTimer& indicator = Form_->IndicatorTimer();
    if (!zem.Enabled) ZemDueMs_ = 0;
    if (!indicator.Enabled) IndicatorDueMs_ = 0;
    if (zem.Enabled && ZemDueMs_ == 0) ZemDueMs_ = NowMs + zem.IntervalMs;
    if (indicator.Enabled && IndicatorDueMs_ == 0) IndicatorDueMs_ = NowMs + indicator.IntervalMs;
    uint64_t next = end;
    if (zem.Enabled) next = std::min(next, ZemDueMs_);
    if (indicator.Enabled) next = std::min(next, IndicatorDueMs_);
    if (next > end) break;
    Step(next - NowMs);
    if (zem.Enabled && NowMs >= ZemDueMs_) {
      ZemDueMs_ = NowMs + zem.IntervalMs;
      ++SamplingTicks;
      Form_->ZemTimerTimer();
    }
    if (!Form_->Closed() && indicator.Enabled && NowMs >= IndicatorDueMs_) {
      IndicatorDueMs_ = NowMs + indicator.IntervalMs;
      Form_->IndicatorTimerTimer();
    }
    if (NowMs >= end) break;
  }
  if (NowMs < end) Step(end - NowMs);
}

void THeadlessShell::RunTicks(uint32_t ticks) {
  const uint32_t target = SamplingTicks + ticks;
  while (Form_ != nullptr && !Form_->Closed() && Form_->ZemTimer().Enabled &&
         SamplingTicks < target) {
    RunFor(Form_->ZemTimer().IntervalMs);
  }
}

TBitmap THeadlessShell::Compose() const {
  TBitmap out;
  if (Form_ != nullptr) Form_->Scene().Compose(out);
  return out;
}

bool THeadlessShell::SaveSnapshot(const std::string& fileName) const {
  if (Form_ == nullptr) return false;
  return SavePng(Compose(), fileName, Form_->Scene().BackgroundKey());
}
