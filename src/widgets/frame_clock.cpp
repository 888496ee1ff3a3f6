#include "widgets/frame_clock.hpp"

#include "platform/system_clock.hpp"

#include <QTimeZone>

#include <algorithm>
#include <vector>

namespace tessaron {

namespace {

TessaronFrameClock* installed = nullptr;

} // namespace

double frameDate(const QDateTime& date) {
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return static_cast<double>(reference.msecsTo(date)) / 1000.0;
}

TessaronFrameClock::TessaronFrameClock(Clock& clock)
    : clock_(clock) {}

TessaronFrameClock::~TessaronFrameClock() {
    if (installed == this)
        installed = nullptr;
}

TessaronFrameClock& TessaronFrameClock::shared() {
    if (installed)
        return *installed;
    // Never destroyed, like the system clock it runs on: that clock goes with the application object, so a
    // frame clock torn down among the statics after it would unschedule its tick on a clock that is gone.
    static auto* system = new TessaronFrameClock(SystemClock::shared());
    return *system;
}

void TessaronFrameClock::install(TessaronFrameClock* clock) {
    installed = clock;
}

double TessaronFrameClock::date() const {
    return frameDate(clock_.now());
}

TessaronFrameClock::Member TessaronFrameClock::join(Clock::Duration interval, std::function<void()> frame) {
    const Member member = next_++;
    members_.emplace(member, Entry{interval, clock_.monotonic(), std::move(frame)});
    retime();
    return member;
}

void TessaronFrameClock::setInterval(Member member, Clock::Duration interval) {
    const auto entry = members_.find(member);
    if (entry == members_.end() || entry->second.interval == interval)
        return;
    entry->second.interval = interval;
    retime();
}

void TessaronFrameClock::leave(Member member) {
    if (members_.erase(member) > 0)
        retime();
}

Clock::Duration TessaronFrameClock::tickInterval() const {
    return timer_ ? timer_->interval() : Clock::Duration::zero();
}

// A new pace starts a new timer; the same pace keeps the running one, so its ticks stay even.
void TessaronFrameClock::retime() {
    if (members_.empty()) {
        timer_.reset();
        return;
    }
    const auto fastest = std::ranges::min_element(members_, {}, [](const auto& member) {
                             return member.second.interval;
                         })->second.interval;
    if (timer_ && timer_->interval() == fastest)
        return;
    timer_ = clock_.repeat(fastest, Clock::Duration::zero(), [this] { tick(); });
}

void TessaronFrameClock::tick() {
    const auto now = clock_.monotonic();
    // A member is due when less than half a tick of its interval remains: a timer that fires a little
    // early must not push it to the tick after.
    const auto slack = timer_->interval() / 2;
    std::vector<Member> due;
    for (auto& [member, entry] : members_) {
        if (now - entry.last + slack >= entry.interval) {
            entry.last = now;
            due.push_back(member);
        }
    }
    // A frame may make members leave or join.
    for (const Member member : due) {
        if (const auto entry = members_.find(member); entry != members_.end())
            entry->second.frame();
    }
}

} // namespace tessaron
