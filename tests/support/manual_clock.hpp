#pragma once

#include "platform/clock.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace tessaron::testing {

// Virtual time for tests. Nothing happens until the test advances the clock; then every entry that falls
// due runs in deadline order, then scheduling order, with the clock reading that entry's deadline.
class ManualClock final : public Clock {
public:
    // 2026-01-01T00:00:00Z at monotonic zero.
    QDateTime now() const override {
        using namespace std::chrono;
        return QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC)
            .addMSecs(duration_cast<milliseconds>(monotonic_).count());
    }
    Duration monotonic() const override { return monotonic_; }
    TimerId schedule(Duration deadline, Duration, std::function<void()> fire) override {
        entries_.emplace(Key{deadline, nextId_}, std::move(fire));
        return nextId_++;
    }
    void unschedule(TimerId id) override {
        std::erase_if(entries_, [id](const auto& entry) { return entry.first.second == id; });
    }

    // Moves time forward by `step`, running everything due on the way, including entries that the
    // running ones schedule within the step. Between entries the events already posted are delivered, as
    // the event loop delivers them between timers: an answer that came before a deadline beats it.
    void advance(Duration step) {
        const auto target = monotonic_ + step;
        while (deliverPosted(), !entries_.empty() && entries_.begin()->first.first <= target) {
            auto due = entries_.extract(entries_.begin());
            monotonic_ = std::max(monotonic_, due.key().first);
            if (firings_.empty() || firings_.back() != monotonic_)
                firings_.push_back(monotonic_);
            due.mapped()();
        }
        monotonic_ = target;
    }
    // Runs what is due now without moving time.
    void runDue() { advance(Duration::zero()); }

    std::size_t pendingCount() const { return entries_.size(); }
    // The distinct instants at which entries ran, in order: what would each have cost a wake-up.
    const std::vector<Duration>& wakeUps() const { return firings_; }

private:
    using Key = std::pair<Duration, TimerId>;

    static void deliverPosted() {
        if (QCoreApplication::instance())
            QCoreApplication::sendPostedEvents();
    }

    Duration monotonic_{};
    TimerId nextId_ = 1;
    std::map<Key, std::function<void()>> entries_;
    std::vector<Duration> firings_;
};

} // namespace tessaron::testing
