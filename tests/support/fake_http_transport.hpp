#pragma once

#include "platform/http_transport.hpp"

#include <QList>

#include <deque>
#include <functional>

namespace tessaron::testing {

// Answers requests from a queue of scripted outcomes (or a responder) and records every request. Body caps
// are applied as the real transport applies them, so callers see the same failures.
class FakeHttpTransport final : public HttpTransport {
public:
    using Responder = std::function<HttpOutcome(const HttpRequest&)>;

    void enqueue(HttpOutcome outcome) {
        queued_.push_back([outcome = std::move(outcome)](const HttpRequest&) { return outcome; });
    }
    void enqueue(int status, QByteArray body = {}, HttpHeaders headers = {});
    void setResponder(Responder responder) { responder_ = std::move(responder); }

    const QList<HttpRequest>& requests() const { return requests_; }

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

private:
    HttpOutcome answer(const HttpRequest& request);

    std::deque<Responder> queued_;
    Responder responder_;
    QList<HttpRequest> requests_;
};

} // namespace tessaron::testing
