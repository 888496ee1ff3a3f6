#include "session/network_path_wait.hpp"

#include "platform/one_shot.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace tessaron {

namespace {

// Negative, NaN and absurdly long limits would overflow the clock's reading.
Clock::Duration clampedLimit(std::chrono::duration<double> within) {
    constexpr double longest = 365.0 * 24 * 3600;
    const double seconds = std::isnan(within.count()) ? 0.0 : std::clamp(within.count(), 0.0, longest);
    return std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
}

} // namespace

QCoro::Task<bool> NetworkPathWait::satisfied(std::chrono::duration<double> within) const {
    Clock* clock = clock_;
    OneShot<bool> answer;

    const auto deadline = clock->schedule(clock->monotonic() + clampedLimit(within), Clock::Duration::zero(),
                                          [answer] { answer.resume(false); });
    auto monitor = makeMonitor_();
    // A satisfied path is answered through the clock, not from inside the monitor's report: the waiter
    // then ends the monitor from outside its own handler.
    monitor->start([answer, clock, pathSeen = std::make_shared<bool>(false)](PathMonitor::Status status) {
        if (status != PathMonitor::Status::satisfied || std::exchange(*pathSeen, true))
            return;
        clock->schedule(clock->monotonic(), Clock::Duration::zero(), [answer] { answer.resume(true); });
    });

    const bool result = co_await answer;
    monitor.reset();
    clock->unschedule(deadline);
    co_return result;
}

} // namespace tessaron
