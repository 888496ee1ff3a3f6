#include "platform/system_clock.hpp"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

namespace tessaron {

using namespace std::chrono;

namespace {

// Qt runs coarse timers this short as precise ones.
constexpr auto shortestCoarseInterval = 20ms;

} // namespace

struct SystemClock::Entry {
    explicit Entry(QObject* owner)
        : timer(new QTimer(owner)) {}
    // The entry may go away inside the timer's own timeout signal, so the timer is released later.
    ~Entry() {
        timer->stop();
        timer->deleteLater();
    }

    Duration deadline;
    std::function<void()> fire;
    QTimer* timer;
};

SystemClock::SystemClock(QObject* parent)
    : QObject(parent) {}

SystemClock::~SystemClock() = default;

SystemClock& SystemClock::shared() {
    static auto* clock = new SystemClock(QCoreApplication::instance());
    return *clock;
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

Clock::Duration SystemClock::monotonic() const {
    return steady_clock::now().time_since_epoch();
}

Clock::TimerId SystemClock::schedule(Duration deadline, Duration tolerance, std::function<void()> fire) {
    const auto id = nextId_++;
    auto entry = std::make_unique<Entry>(this);
    entry->deadline = deadline;
    entry->fire = std::move(fire);
    entry->timer->setSingleShot(true);
    connect(entry->timer, &QTimer::timeout, this, [this, id] { this->fire(id); });
    const auto arming = firstArming(deadline - monotonic(), tolerance);
    entry->timer->setTimerType(arming.type);
    entry->timer->start(arming.interval);
    entries_.emplace(id, std::move(entry));
    return id;
}

SystemClock::Arming SystemClock::firstArming(Duration remaining, Duration tolerance) {
    const auto precise =
        Arming{std::max(ceil<milliseconds>(remaining), milliseconds::zero()), Qt::PreciseTimer};
    // Qt fires a coarse timer up to 1/20 of its interval early or late, and a short one precisely anyway.
    if (remaining <= shortestCoarseInterval || tolerance * 20 < remaining)
        return precise;
    // Armed for remaining / 0.95 it cannot fire early; where the tolerance does not cover the lateness that
    // brings, it is armed as late as the tolerance allows and may fire early once.
    const auto neverEarly = ceil<milliseconds>(remaining * 20 / 19);
    const auto latestAllowed = floor<milliseconds>((remaining + tolerance) * 20 / 21);
    return {std::min(neverEarly, latestAllowed), Qt::CoarseTimer};
}

void SystemClock::unschedule(TimerId id) {
    entries_.erase(id);
}

void SystemClock::fire(TimerId id) {
    const auto found = entries_.find(id);
    if (found == entries_.end())
        return;
    // A timer that fired early is re-armed precisely for the rest: no rule runs before its deadline, and
    // an early firing costs one wake-up more, not a chain of them.
    auto& entry = *found->second;
    if (const auto rest = entry.deadline - monotonic(); rest > Duration::zero()) {
        entry.timer->setTimerType(Qt::PreciseTimer);
        entry.timer->start(ceil<milliseconds>(rest));
        return;
    }
    auto fire = std::move(found->second->fire);
    entries_.erase(found);
    fire();
}

} // namespace tessaron
