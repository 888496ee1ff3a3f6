#include "session/configuration_changes.hpp"

namespace tessaron {

struct ConfigurationChanges::State {
    std::function<void(bool)> onBusyChanged;
    // Changes running or waiting; the first of them runs.
    int count = 0;
    std::deque<std::coroutine_handle<>> waiting;

    void begin() {
        if (++count == 1)
            onBusyChanged(true);
    }

    void end() {
        if (!waiting.empty()) {
            // The next change takes over the turn, so the session stays busy without a flicker.
            const auto next = waiting.front();
            waiting.pop_front();
            --count;
            next.resume();
            return;
        }
        if (--count == 0)
            onBusyChanged(false);
    }
};

struct ConfigurationChanges::Entry {
    std::shared_ptr<State> state;

    bool await_ready() const { return state->count == 1; }
    void await_suspend(std::coroutine_handle<> handle) const { state->waiting.push_back(handle); }
    void await_resume() const {}
};

ConfigurationChanges::Turn& ConfigurationChanges::Turn::operator=(Turn&& other) noexcept {
    if (this != &other) {
        release();
        state_ = std::move(other.state_);
    }
    return *this;
}

void ConfigurationChanges::Turn::release() {
    if (auto state = std::exchange(state_, nullptr))
        state->end();
}

ConfigurationChanges::ConfigurationChanges(std::function<void(bool busy)> onBusyChanged)
    : state_(std::make_shared<State>()) {
    state_->onBusyChanged = std::move(onBusyChanged);
}

QCoro::Task<ConfigurationChanges::Turn> ConfigurationChanges::enter() {
    auto state = state_;
    state->begin();
    // Named: GCC 12 destroys a braced awaiter written inside the co_await twice.
    Entry entry{state};
    co_await entry;
    co_return Turn(state);
}

bool ConfigurationChanges::isBusy() const {
    return state_->count > 0;
}

} // namespace tessaron
