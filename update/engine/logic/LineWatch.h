// The rules of a poor line: when a connection that still stands counts as broken, and how long to
// wait before the next attempt. Every bound is named here, in LineBounds.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

struct LineBounds {
    uint32_t silenceMs = 30000;          // no byte for this long: the connection is broken
    uint32_t slowWindowMs = 60000;       // fewer bytes than this window at the rate below...
    uint32_t slowBytesPerSecond = 1024;  // ...averaged over it: broken too
    uint32_t attemptsWindows = 5;        // a file whose attempts together bring less than that rate
                                         // over this many windows from the first one on fails
    int barrenAttempts = 5;              // attempts in a row without a new byte before giving up
    uint32_t firstPauseMs = 1000;        // before the second such attempt; doubled for each further
    int resumeOverlap = 4096;            // a resumed transfer starts this many bytes early and checks them
    uint32_t checkTotalMs = 120000;      // a server check, every source it tries included, ends within this
};

enum class LineVerdict { Healthy, Silent, Slow };

// Watches the bytes of one attempt over time.
class LineWatch {
public:
    explicit LineWatch(const LineBounds& bounds) : bounds_(bounds) {}
    // A new attempt starts receiving at `nowMs`.
    void Start(uint64_t nowMs);
    void Received(int64_t bytes, uint64_t nowMs);
    // How long the next read may wait before the silence bound is reached (at least 1 ms).
    uint32_t ReadTimeoutMs(uint64_t nowMs) const;
    LineVerdict Verdict(uint64_t nowMs) const;

private:
    const LineBounds& bounds_;
    uint64_t startMs_ = 0;
    uint64_t lastByteMs_ = 0;
    int64_t received_ = 0;
    // (time, bytes received until then), about one a second, reaching back one window.
    std::deque<std::pair<uint64_t, int64_t>> samples_;
};

// The pause before the next attempt after `barren` attempts in a row that brought no new byte:
// none after an attempt that did, then 1, 2, 4, 8 s with the default bounds.
uint32_t RetryPauseMs(const LineBounds& bounds, int barren);
// No further attempt after this many barren ones.
bool RetriesExhausted(const LineBounds& bounds, int barren);
// Across a file's attempts: `written` new bytes since its first attempt began at `startMs`. Once
// `attemptsWindows` windows have passed, fewer than the rate asks for means the source cannot serve it, however each
// attempt went: one that sends a byte a connection and then goes silent cannot hold a run for ever.
bool TooSlowAcrossAttempts(const LineBounds& bounds, uint64_t startMs, int64_t written, uint64_t nowMs);
