#include "platform/system_clock.hpp"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

namespace tessaron {

using namespace std::chrono;

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
    // Coarse timers may fire up to 5 % early or late; only a caller that allows that much gets one.
    const auto remaining = deadline - monotonic();
    entry->timer->setTimerType(
        remaining > Duration::zero() && tolerance * 20 >= remaining ? Qt::CoarseTimer : Qt::PreciseTimer);
    connect(entry->timer, &QTimer::timeout, this, [this, id] { this->fire(id); });
    entries_.emplace(id, std::move(entry));
    arm(id);
    return id;
}

void SystemClock::unschedule(TimerId id) {
    entries_.erase(id);
}

void SystemClock::arm(TimerId id) {
    auto& entry = *entries_.at(id);
    const auto remaining = ceil<milliseconds>(entry.deadline - monotonic());
    entry.timer->start(std::max(remaining, milliseconds::zero()));
}

void SystemClock::fire(TimerId id) {
    const auto found = entries_.find(id);
    if (found == entries_.end())
        return;
    // A timer that fired early is re-armed for the rest, so no rule ever runs before its deadline.
    if (monotonic() < found->second->deadline) {
        arm(id);
        return;
    }
    auto fire = std::move(found->second->fire);
    entries_.erase(found);
    fire();
}

} // namespace tessaron
