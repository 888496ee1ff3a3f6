#pragma once

#include "platform/cancellation.hpp"

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace tessaron {

// Holds the one running task of a kind. Starting a new task cancels the one before it; cancelling wakes
// the old task's sleeps, and the old task must check its token before acting on what it learned.
class TaskSlot {
public:
    using Body = std::function<QCoro::Task<>(CancellationToken)>;

    TaskSlot() = default;
    ~TaskSlot();
    TaskSlot(const TaskSlot&) = delete;
    TaskSlot& operator=(const TaskSlot&) = delete;

    void start(Body body);
    void cancel();
    // True from start() until the body returns or the slot is cancelled.
    bool isRunning() const;

private:
    struct Run;
    static QCoro::Task<> drive(std::shared_ptr<Run> run, Body body);

    std::shared_ptr<Run> current_;
};

} // namespace tessaron
