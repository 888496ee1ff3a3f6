#include "updates/serial_worker.hpp"

namespace tessaron {

SerialWorker::SerialWorker()
    : context_(std::make_unique<QObject>()) {
    thread_.setObjectName(QStringLiteral("crash-reporting"));
    context_->moveToThread(&thread_);
    QObject::connect(
        &thread_, &QThread::finished, context_.get(),
        [this] {
            if (teardown_)
                teardown_();
        },
        Qt::DirectConnection);
    thread_.start();
}

SerialWorker::~SerialWorker() {
    requestStop();
    thread_.wait();
}

void SerialWorker::setTeardown(std::function<void()> work) {
    std::lock_guard guard(lock_);
    teardown_ = std::move(work);
}

void SerialWorker::enqueue(Step step) {
    {
        std::lock_guard guard(lock_);
        if (stopped_)
            return;
        steps_.push_back(std::move(step));
    }
    QMetaObject::invokeMethod(
        context_.get(), [this] { pump(); }, Qt::QueuedConnection);
}

void SerialWorker::pump() {
    Step next;
    {
        std::lock_guard guard(lock_);
        if (running_ || steps_.empty() || stopped_)
            return;
        next = std::move(steps_.front());
        steps_.pop_front();
        running_ = true;
    }
    run(std::move(next));
}

QCoro::Task<> SerialWorker::run(Step step) {
    try {
        co_await step();
    } catch (...) {
        // A failed step must not stop the ones after it; crash reporting shows and logs nothing.
    }
    {
        std::lock_guard guard(lock_);
        running_ = false;
        if (steps_.empty())
            idle_.notify_all();
    }
    pump();
}

bool SerialWorker::stop(std::chrono::milliseconds patience) {
    requestStop();
    return thread_.wait(QDeadlineTimer(patience));
}

void SerialWorker::requestStop() {
    {
        std::lock_guard guard(lock_);
        if (stopped_)
            return;
        stopped_ = true;
        steps_.clear();
        idle_.notify_all();
    }
    // Cancellation wakes the running step on its own thread, where its transfers live. Queued, never
    // awaited: a step busy in the thread must not hold up the caller.
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            stopping_.cancel();
            thread_.quit();
        },
        Qt::QueuedConnection);
}

bool SerialWorker::waitForIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    return idle_.wait_for(guard, timeout, [this] { return stopped_ || (!running_ && steps_.empty()); });
}

} // namespace tessaron
