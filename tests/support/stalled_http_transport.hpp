#pragma once

#include "platform/clock.hpp"
#include "platform/http_transport.hpp"

#include <chrono>

namespace tessaron::testing {

// A server that never finishes its reply: the request ends only when the caller cancels it.
class StalledHttpTransport final : public HttpTransport {
public:
    explicit StalledHttpTransport(Clock& clock)
        : clock_(clock) {}

    QCoro::Task<HttpOutcome> send(HttpRequest, CancellationToken cancellation) override {
        co_await clock_.sleep(std::chrono::hours(24), cancellation);
        co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
    }

private:
    Clock& clock_;
};

} // namespace tessaron::testing
