#include "health/bounded_wait.hpp"

#include "platform/one_shot.hpp"

#include <QtDebug>

#include <exception>

namespace tessaron {

namespace {

using Outcome = TessaronBoundedWait::Outcome;

QCoro::Task<> awaitWork(TessaronBoundedWait::Work work, OneShot<Outcome> gate,
                        TessaronBoundedWait::LateHandler onLate) {
    try {
        co_await work();
    } catch (const std::exception& error) {
        // A failed piece of work has ended all the same; the caller must not wait out the deadline for it.
        qWarning("bounded work failed: %s", error.what());
    }
    if (!gate.resume(Outcome::finished) && onLate)
        onLate();
}

QCoro::Task<> awaitDeadline(Clock* clock, Clock::Duration deadline, OneShot<Outcome> gate,
                            CancellationToken cancellation) {
    co_await clock->sleep(deadline, cancellation);
    if (!cancellation.isCancelled())
        gate.resume(Outcome::timedOut);
}

} // namespace

QCoro::Task<Outcome> TessaronBoundedWait::run(Clock::Duration deadline, Work work, LateHandler onLate) const {
    OneShot<Outcome> gate;
    CancellationSource timer;
    awaitWork(std::move(work), gate, std::move(onLate));
    awaitDeadline(clock_, deadline, gate, timer.token());
    const auto outcome = co_await gate;
    if (outcome == Outcome::finished)
        timer.cancel();
    co_return outcome;
}

} // namespace tessaron
