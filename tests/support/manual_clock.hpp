#pragma once

#include "platform/clock.hpp"

#include <map>
#include <utility>
#include <vector>

namespace tessaron::testing {

// Virtual time for tests. Nothing happens until the test advances the clock; then every entry that falls
// due runs in deadline order, then scheduling order, with the clock reading that entry's deadline.
class ManualClock final : public Clock {
public:
    // 2026-01-01T00:00:00Z at monotonic zero.
    ManualClock();

    QDateTime now() const override;
    Duration monotonic() const override { return monotonic_; }
    TimerId schedule(Duration deadline, Duration tolerance, std::function<void()> fire) override;
    void unschedule(TimerId id) override;

    // Moves time forward by `step`, running everything due on the way, including entries that the
    // running ones schedule within the step.
    void advance(Duration step);
    // Runs what is due now without moving time.
    void runDue() { advance(Duration::zero()); }

    std::size_t pendingCount() const { return entries_.size(); }
    // The distinct instants at which entries ran, in order: what would each have cost a wake-up.
    const std::vector<Duration>& wakeUps() const { return firings_; }

private:
    using Key = std::pair<Duration, TimerId>;

    Duration monotonic_{};
    QDateTime origin_;
    TimerId nextId_ = 1;
    std::map<Key, std::function<void()>> entries_;
    std::vector<Duration> firings_;
};

} // namespace tessaron::testing
