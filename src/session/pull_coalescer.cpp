#include "session/pull_coalescer.hpp"

#include "platform/one_shot.hpp"

#include <exception>
#include <vector>

namespace tessaron {

// Shared with every running pull, so a pull that ends after the coalescer is gone touches nothing freed.
struct TessaronPullCoalescer::State {
    using Joiners = std::vector<OneShot<bool>>;
    // Only the caller that started a key's pull ever removes its entry.
    QHash<QUuid, std::shared_ptr<Joiners>> running;
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
        (*found)->push_back(ended);
        co_await ended;
        co_return;
    }

    const auto joiners = std::make_shared<State::Joiners>();
    state->running.insert(key, joiners);
    std::exception_ptr failure;
    try {
        co_await pull();
    } catch (...) {
        failure = std::current_exception();
    }
    // Leave before waking the joiners: one of them may start the next pull of the same key at once.
    state->running.remove(key);
    for (const auto& joiner : *joiners)
        joiner.resume(true);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace tessaron
