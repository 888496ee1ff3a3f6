#include "session/task_activation_timing.hpp"

#include <utility>

namespace tessaron {

TaskActivationTiming::~TaskActivationTiming() {
    cancelAll();
}

QUuid TaskActivationTiming::schedule(Clock::Duration delay, Action action) {
    const auto id = QUuid::createUuid();
    tasks_.insert(id,
                  clock_.schedule(clock_.monotonic() + delay, Clock::Duration::zero(), std::move(action)));
    return id;
}

void TaskActivationTiming::cancel(const QUuid& id) {
    const auto task = tasks_.constFind(id);
    if (task == tasks_.cend())
        return;
    clock_.unschedule(*task);
    tasks_.erase(task);
}

void TaskActivationTiming::cancelAll() {
    for (const auto task : std::exchange(tasks_, {}))
        clock_.unschedule(task);
}

} // namespace tessaron
