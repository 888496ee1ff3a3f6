#pragma once

#include <QAbstractEventDispatcher>
#include <QMetaObject>
#include <QThread>

#include <coroutine>
#include <memory>
#include <mutex>
#include <optional>

namespace tessaron {

// Delivers the first of several racing results to one waiting coroutine, exactly once. Later results are
// refused, so their sender knows it lost. Results may arrive from any thread, before or after the waiter
// suspends; the waiter is always resumed on its own thread and never while the lock is held.
template <typename T> class OneShot {
public:
    OneShot()
        : state_(std::make_shared<State>()) {}

    // Returns false when another result was delivered first.
    bool resume(T value) const {
        std::coroutine_handle<> waiter;
        QThread* waiterThread = nullptr;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->claimed)
                return false;
            state_->claimed = true;
            state_->result = std::move(value);
            waiter = std::exchange(state_->waiter, {});
            waiterThread = state_->waiterThread;
        }
        if (waiter)
            resumeOn(waiterThread, waiter);
        return true;
    }

    bool isClaimed() const {
        std::lock_guard lock(state_->mutex);
        return state_->claimed;
    }

    auto operator co_await() const {
        struct Awaiter {
            std::shared_ptr<State> state;
            bool await_ready() const {
                std::lock_guard lock(state->mutex);
                return state->result.has_value();
            }
            bool await_suspend(std::coroutine_handle<> handle) const {
                std::lock_guard lock(state->mutex);
                if (state->result)
                    return false;
                state->waiter = handle;
                state->waiterThread = QThread::currentThread();
                return true;
            }
            T await_resume() const {
                std::lock_guard lock(state->mutex);
                return *state->result;
            }
        };
        return Awaiter{state_};
    }

private:
    struct State {
        std::mutex mutex;
        bool claimed = false;
        std::optional<T> result;
        std::coroutine_handle<> waiter;
        QThread* waiterThread = nullptr;
    };

    static void resumeOn(QThread* thread, std::coroutine_handle<> waiter) {
        if (thread == QThread::currentThread()) {
            waiter.resume();
            return;
        }
        QMetaObject::invokeMethod(
            QAbstractEventDispatcher::instance(thread), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
    }

    std::shared_ptr<State> state_;
};

} // namespace tessaron
