#include "support/manual_clock.hpp"

#include <chrono>

namespace tessaron::testing {

ManualClock::ManualClock()
    : origin_(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC) {}

QDateTime ManualClock::now() const {
    using namespace std::chrono;
    return origin_.addMSecs(duration_cast<milliseconds>(monotonic_).count());
}

Clock::TimerId ManualClock::schedule(Duration deadline, Duration, std::function<void()> fire) {
    const auto id = nextId_++;
    entries_.emplace(Key{deadline, id}, std::move(fire));
    return id;
}

void ManualClock::unschedule(TimerId id) {
    std::erase_if(entries_, [id](const auto& entry) { return entry.first.second == id; });
}

void ManualClock::advance(Duration step) {
    const auto target = monotonic_ + step;
    while (!entries_.empty() && entries_.begin()->first.first <= target) {
        auto due = entries_.extract(entries_.begin());
        monotonic_ = std::max(monotonic_, due.key().first);
        if (firings_.empty() || firings_.back() != monotonic_)
            firings_.push_back(monotonic_);
        due.mapped()();
    }
    monotonic_ = target;
}

} // namespace tessaron::testing
