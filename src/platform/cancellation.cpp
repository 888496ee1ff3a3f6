#include "platform/cancellation.hpp"

#include <map>
#include <mutex>
#include <vector>

namespace tessaron {

namespace detail {
struct CancellationState {
    std::mutex mutex;
    bool cancelled = false;
    CancellationToken::CallbackId nextId = 1;
    std::map<CancellationToken::CallbackId, std::function<void()>> callbacks;
};
} // namespace detail

CancellationToken::CancellationToken(std::shared_ptr<detail::CancellationState> state)
    : state_(std::move(state)) {}

bool CancellationToken::isCancelled() const {
    if (!state_)
        return false;
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

CancellationToken::CallbackId CancellationToken::onCancel(std::function<void()> callback) const {
    if (!state_)
        return 0;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->cancelled) {
            const auto id = state_->nextId++;
            state_->callbacks.emplace(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void CancellationToken::removeCallback(CallbackId id) const {
    if (!state_ || id == 0)
        return;
    std::lock_guard lock(state_->mutex);
    state_->callbacks.erase(id);
}

CancellationSource::CancellationSource()
    : state_(std::make_shared<detail::CancellationState>()) {}

CancellationToken CancellationSource::token() const {
    return CancellationToken(state_);
}

bool CancellationSource::isCancelled() const {
    return token().isCancelled();
}

void CancellationSource::cancel() {
    std::map<CancellationToken::CallbackId, std::function<void()>> callbacks;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled)
            return;
        state_->cancelled = true;
        callbacks.swap(state_->callbacks);
    }
    for (auto& [id, callback] : callbacks)
        callback();
}

} // namespace tessaron
