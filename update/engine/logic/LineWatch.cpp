#include "update/engine/logic/LineWatch.h"

#include <algorithm>

void LineWatch::Start(uint64_t nowMs) {
    startMs_ = nowMs;
    lastByteMs_ = nowMs;
    received_ = 0;
    samples_.clear();
    samples_.emplace_back(nowMs, 0);
}

void LineWatch::Received(int64_t bytes, uint64_t nowMs) {
    if (bytes <= 0) return;
    received_ += bytes;
    lastByteMs_ = nowMs;
    // Exact (time, total) samples about a second apart; the newest moves until the next is due.
    const size_t n = samples_.size();
    if (n >= 2 && samples_[n - 1].first - samples_[n - 2].first < 1000)
        samples_.back() = {nowMs, received_};
    else
        samples_.emplace_back(nowMs, received_);
    // Keep one sample at or before the window's start.
    while (samples_.size() > 1 && nowMs - samples_[1].first >= bounds_.slowWindowMs) samples_.pop_front();
}

uint32_t LineWatch::ReadTimeoutMs(uint64_t nowMs) const {
    const uint64_t quiet = nowMs - lastByteMs_;
    return quiet >= bounds_.silenceMs ? 1u : static_cast<uint32_t>(bounds_.silenceMs - quiet);
}

LineVerdict LineWatch::Verdict(uint64_t nowMs) const {
    if (nowMs - lastByteMs_ >= bounds_.silenceMs) return LineVerdict::Silent;
    if (nowMs - startMs_ < bounds_.slowWindowMs) return LineVerdict::Healthy;
    // The bytes of the last window: from the newest sample at or before its start.
    const uint64_t windowStart = nowMs - bounds_.slowWindowMs;
    int64_t before = 0;
    for (const auto& sample : samples_) {
        if (sample.first > windowStart) break;
        before = sample.second;
    }
    const int64_t needed = static_cast<int64_t>(bounds_.slowBytesPerSecond) * bounds_.slowWindowMs / 1000;
    return received_ - before < needed ? LineVerdict::Slow : LineVerdict::Healthy;
}

uint32_t RetryPauseMs(const LineBounds& bounds, int barren) {
    if (barren <= 0) return 0;
    return bounds.firstPauseMs << std::min(barren - 1, 16);
}

bool RetriesExhausted(const LineBounds& bounds, int barren) { return barren >= bounds.barrenAttempts; }

bool TooSlowAcrossAttempts(const LineBounds& bounds, uint64_t startMs, int64_t written, uint64_t nowMs) {
    const uint64_t elapsed = nowMs > startMs ? nowMs - startMs : 0;
    if (elapsed < static_cast<uint64_t>(bounds.slowWindowMs) * bounds.attemptsWindows) return false;
    return static_cast<uint64_t>(written > 0 ? written : 0) * 1000 < elapsed * bounds.slowBytesPerSecond;
}
