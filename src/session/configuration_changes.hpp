#pragma once

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <deque>
#include <functional>
#include <memory>

namespace tessaron {

// Lets changes to the system's VPN configuration run one at a time, in the order they asked, so that one
// change can never finish inside another (a reload must read what its own save wrote). The session is busy
// while any change runs or waits. Main thread only.
class ConfigurationChanges {
    struct State;

public:
    // The right to change the configuration. Destroying it, or release(), lets the next change go on.
    class Turn {
    public:
        Turn(Turn&& other) noexcept = default;
        Turn& operator=(Turn&& other) noexcept;
        ~Turn() { release(); }

        void release();

    private:
        friend class ConfigurationChanges;
        explicit Turn(std::shared_ptr<State> state)
            : state_(std::move(state)) {}

        std::shared_ptr<State> state_;
    };

    // Told whenever the first change begins waiting or running, and when the last one ends.
    explicit ConfigurationChanges(std::function<void(bool busy)> onBusyChanged);

    // Resumes once every change that asked before has ended.
    QCoro::Task<Turn> enter();

    bool isBusy() const;

private:
    struct Entry;

    std::shared_ptr<State> state_;
};

} // namespace tessaron
