#include "platform/task_slot.hpp"

#include <QtDebug>

#include <exception>

namespace tessaron {

struct TaskSlot::Run {
    CancellationSource cancellation;
    bool finished = false;
};

TaskSlot::~TaskSlot() {
    cancel();
}

void TaskSlot::start(Body body) {
    cancel();
    current_ = std::make_shared<Run>();
    drive(current_, std::move(body));
}

void TaskSlot::cancel() {
    if (auto run = std::exchange(current_, nullptr))
        run->cancellation.cancel();
}

bool TaskSlot::isRunning() const {
    return current_ && !current_->finished;
}

QCoro::Task<> TaskSlot::drive(std::shared_ptr<Run> run, Body body) {
    try {
        co_await body(run->cancellation.token());
    } catch (const std::exception& error) {
        // Nobody awaits a stored task, so its failure would otherwise vanish without a trace.
        qWarning("stored task failed: %s", error.what());
    }
    run->finished = true;
}

} // namespace tessaron
