#include "platform/clock.hpp"

#include <QAbstractEventDispatcher>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <coroutine>

namespace tessaron {

namespace {

class SleepAwaiter {
public:
    SleepAwaiter(std::weak_ptr<Clock*> clock, Clock::Duration duration, CancellationToken cancellation)
        : clock_(std::move(clock))
        , duration_(duration)
        , cancellation_(std::move(cancellation)) {}

    bool await_ready() const { return cancellation_.isCancelled(); }
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const {}

private:
    void wake();
    void wakeSoon();

    std::weak_ptr<Clock*> clock_;
    Clock::Duration duration_;
    CancellationToken cancellation_;
    std::coroutine_handle<> handle_;
    Clock::TimerId timer_ = 0;
    CancellationToken::CallbackId cancelCallback_ = 0;
    QThread* thread_ = nullptr;
};

void SleepAwaiter::await_suspend(std::coroutine_handle<> handle) {
    handle_ = handle;
    thread_ = QThread::currentThread();
    Clock& clock = **clock_.lock();
    timer_ = clock.schedule(clock.monotonic() + duration_, Clock::Duration::zero(), [this] { wake(); });
    // Cancellation wakes the sleeper soon rather than inline, so the cancelling code finishes before the
    // sleeper runs again.
    cancelCallback_ = cancellation_.onCancel([this] { wakeSoon(); });
}

void SleepAwaiter::wakeSoon() {
    if (const auto clock = clock_.lock()) {
        (*clock)->unschedule(timer_);
        timer_ = (*clock)->schedule((*clock)->monotonic(), Clock::Duration::zero(), [this] { wake(); });
        return;
    }
    // The clock is gone and its entries with it; the sleeper's own event loop wakes it instead.
    QMetaObject::invokeMethod(
        QAbstractEventDispatcher::instance(thread_), [this] { wake(); }, Qt::QueuedConnection);
}

void SleepAwaiter::wake() {
    cancellation_.removeCallback(cancelCallback_);
    std::exchange(handle_, {}).resume();
}

} // namespace

Clock::Clock()
    : lifetime_(std::make_shared<Clock*>(this)) {}

Clock::~Clock() = default;

QCoro::Task<> Clock::sleep(Duration duration, CancellationToken cancellation) {
    SleepAwaiter awaiter(lifetime_, duration, std::move(cancellation));
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
