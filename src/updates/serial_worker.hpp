#pragma once

#include "platform/cancellation.hpp"

#include <QObject>
#include <QThread>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace tessaron {

// Runs asynchronous steps strictly one after another, in the order they were scheduled, on a thread of
// its own with its own event loop. Objects a step creates there (an HTTP transport) belong to that thread.
class SerialWorker {
public:
    // Called on the worker's thread; returns the step's coroutine (a member coroutine, not a lambda one).
    using Step = std::function<QCoro::Task<>()>;

    SerialWorker();
    // Stops the worker and waits for its thread, however long the running step takes.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Any thread. Steps scheduled after stop() never run.
    void enqueue(Step step);
    // Cancelled, on the worker's thread, when the worker stops.
    CancellationToken stopping() const { return stopping_.token(); }
    // Runs `work` on the worker's thread just before it ends, after the running step was cancelled.
    void setTeardown(std::function<void()> work);

    // Any thread but the worker's: cancels the running step, drops the waiting ones and ends the thread.
    // Waits at most `patience` for the thread to end; false when it still runs (a step that ignores the
    // cancellation, such as reading a large spool), and the thread then ends on its own.
    bool stop(std::chrono::milliseconds patience);
    // True once nothing runs and nothing waits; false when `timeout` passes first.
    bool waitForIdle(std::chrono::milliseconds timeout);

private:
    void requestStop();
    void pump();
    QCoro::Task<> run(Step step);

    QThread thread_;
    std::unique_ptr<QObject> context_;
    CancellationSource stopping_;
    std::function<void()> teardown_;

    std::mutex lock_;
    std::condition_variable idle_;
    std::deque<Step> steps_;
    bool running_ = false;
    bool stopped_ = false;
};

} // namespace tessaron
