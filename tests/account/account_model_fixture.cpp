#include "account_model_fixture.hpp"

#include "support/event_loop_turn.hpp"

namespace tessaron::testing {

QCoro::Task<HttpOutcome> ScriptedAccountService::send(HttpRequest request, CancellationToken cancellation) {
    const QString call = QString::fromLatin1(request.method) + u' ' + request.url.path();
    Sent record{call, QJsonDocument::fromJson(request.body).object(), {}, false};
    for (const auto& [name, value] : request.headers) {
        if (name == "Authorization")
            record.bearer = value.sliced(7);
        record.deviceSwap |= name == "X-Tessaron-Device-Swap";
    }
    sent.append(record);
    co_await eventLoopTurn();
    if (holds_.removeOne(call)) {
        OneShot<bool> released;
        held_.append(released);
        const auto id = cancellation.onCancel([released] { released.resume(false); });
        const bool answered = co_await released;
        cancellation.removeCallback(id);
        if (!answered) {
            // As the real transport, which hears of its own abort on the event loop's next turn.
            co_await eventLoopTurn();
            co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
        }
    }
    if (auto& queue = queued_[call]; !queue.empty()) {
        auto reply = std::move(queue.front());
        queue.pop_front();
        co_return reply;
    }
    if (standing_.contains(call))
        co_return standing_.value(call);
    co_return HttpFailure{HttpFailure::Kind::transport, QStringLiteral("unreachable")};
}

} // namespace tessaron::testing
