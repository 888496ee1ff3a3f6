#include "platform/bounded_exchange.hpp"

#include <memory>

namespace tessaron {

QCoro::Task<HttpOutcome> sendWithinLimit(HttpTransport* transport, Clock* clock, Clock::Duration limit,
                                         HttpRequest request, CancellationToken cancellation) {
    CancellationSource load;
    auto limitPassed = std::make_shared<bool>(false);
    const auto deadline =
        clock->schedule(clock->monotonic() + limit, Clock::Duration::zero(), [load, limitPassed]() mutable {
            *limitPassed = true;
            load.cancel();
        });
    const auto forwardCancel = cancellation.onCancel([load]() mutable { load.cancel(); });
    auto outcome = co_await transport->send(std::move(request), load.token());
    clock->unschedule(deadline);
    cancellation.removeCallback(forwardCancel);
    if (const auto* failure = std::get_if<HttpFailure>(&outcome);
        failure && failure->kind == HttpFailure::Kind::cancelled && *limitPassed)
        co_return HttpFailure{HttpFailure::Kind::timedOut, QStringLiteral("exchange limit passed")};
    co_return outcome;
}

} // namespace tessaron
