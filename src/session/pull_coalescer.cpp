#include "session/pull_coalescer.hpp"

#include "platform/one_shot.hpp"

#include <exception>
#include <vector>

namespace tessaron {

// Shared with every running pull, so a pull that ends after the coalescer is gone touches nothing freed.
struct TessaronPullCoalescer::State {
    using Joiners = std::vector<OneShot<bool>>;
    struct Running {
        qint64 token;
        std::shared_ptr<Joiners> joiners;
    };
    QHash<QUuid, Running> running;
    qint64 nextToken = 0;
};

TessaronPullCoalescer::TessaronPullCoalescer()
    : state_(std::make_shared<State>()) {}

bool TessaronPullCoalescer::isRunning(const QUuid& key) const {
    return state_->running.contains(key);
}

QCoro::Task<> TessaronPullCoalescer::run(QUuid key, Pull pull) {
    auto state = state_;
    if (const auto found = state->running.constFind(key); found != state->running.cend()) {
        OneShot<bool> ended;
        found->joiners->push_back(ended);
        co_await ended;
        co_return;
    }

    const auto token = state->nextToken++;
    const auto joiners = std::make_shared<State::Joiners>();
    state->running.insert(key, {token, joiners});
    std::exception_ptr failure;
    try {
        co_await pull();
    } catch (...) {
        failure = std::current_exception();
    }
    // Leave before waking the joiners: one of them may start the next pull of the same key at once. Only
    // this pull's own entry is removed, never one that took the key after it.
    if (const auto entry = state->running.constFind(key);
        entry != state->running.cend() && entry->token == token)
        state->running.erase(entry);
    for (const auto& joiner : *joiners)
        joiner.resume(true);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace tessaron
