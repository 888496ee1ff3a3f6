#include "platform/clock.hpp"

#include <algorithm>
#include <coroutine>

namespace tessaron {

namespace {

class SleepAwaiter {
public:
    SleepAwaiter(Clock& clock, Clock::Duration duration, CancellationToken cancellation)
        : clock_(clock)
        , duration_(duration)
        , cancellation_(std::move(cancellation)) {}

    bool await_ready() const { return cancellation_.isCancelled(); }
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const {}

private:
    void wake();

    Clock& clock_;
    Clock::Duration duration_;
    CancellationToken cancellation_;
    std::coroutine_handle<> handle_;
    Clock::TimerId timer_ = 0;
    CancellationToken::CallbackId cancelCallback_ = 0;
};

void SleepAwaiter::await_suspend(std::coroutine_handle<> handle) {
    handle_ = handle;
    timer_ = clock_.schedule(clock_.monotonic() + duration_, Clock::Duration::zero(), [this] { wake(); });
    // Cancellation reschedules the wake-up for now rather than resuming inline, so the cancelling code
    // finishes before the sleeper runs again.
    cancelCallback_ = cancellation_.onCancel([this] {
        clock_.unschedule(timer_);
        timer_ = clock_.schedule(clock_.monotonic(), Clock::Duration::zero(), [this] { wake(); });
    });
}

void SleepAwaiter::wake() {
    cancellation_.removeCallback(cancelCallback_);
    std::exchange(handle_, {}).resume();
}

} // namespace

QCoro::Task<> Clock::sleep(Duration duration, CancellationToken cancellation) {
    SleepAwaiter awaiter(*this, duration, std::move(cancellation));
    co_await awaiter;
}

std::unique_ptr<RepeatingTimer> Clock::repeat(Duration interval, Duration tolerance,
                                              std::function<void()> tick) {
    return std::make_unique<RepeatingTimer>(*this, interval, tolerance, std::move(tick));
}

RepeatingTimer::RepeatingTimer(Clock& clock, Clock::Duration interval, Clock::Duration tolerance,
                               std::function<void()> tick)
    : clock_(clock)
    , interval_(std::max(interval, Clock::Duration(std::chrono::milliseconds(1))))
    , tolerance_(tolerance)
    , tick_(std::move(tick))
    , deadline_(clock.monotonic()) {
    arm();
}

RepeatingTimer::~RepeatingTimer() {
    clock_.unschedule(timer_);
}

void RepeatingTimer::arm() {
    const auto now = clock_.monotonic();
    do {
        deadline_ += interval_;
    } while (deadline_ <= now);
    timer_ = clock_.schedule(deadline_, tolerance_, [this] { fire(); });
}

void RepeatingTimer::fire() {
    // Re-arm first: the tick may destroy this timer.
    arm();
    auto tick = tick_;
    tick();
}

} // namespace tessaron
