#pragma once

#include "platform/http_transport.hpp"
#include "support/event_loop_turn.hpp"

#include <QList>

#include <functional>
#include <memory>

namespace tessaron::testing {

// Answers requests from a queue of scripted outcomes (or a responder) and records every request. Answers
// come from the event loop and body caps are applied as the real transport applies them, so callers wait
// and fail as they do over the network.
class FakeHttpTransport final : public HttpTransport {
public:
    using Responder = std::function<HttpOutcome(const HttpRequest&)>;

    void enqueue(HttpOutcome outcome) { queued_.append(std::move(outcome)); }
    void enqueue(int status, QByteArray body = {}, HttpHeaders headers = {}) {
        enqueue(HttpResponse{.status = status, .headers = std::move(headers), .body = std::move(body)});
    }
    void setResponder(Responder responder) { responder_ = std::move(responder); }

    const QList<HttpRequest>& requests() const { return requests_; }

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override {
        requests_.append(request);
        // A transport that went while the answer was on its way ends the exchange, as the real one does.
        const std::weak_ptr<bool> alive = alive_;
        co_await eventLoopTurn();
        if (alive.expired() || cancellation.isCancelled())
            co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
        const HttpOutcome unscripted =
            HttpFailure{HttpFailure::Kind::transport, QStringLiteral("no scripted reply")};
        auto outcome = !queued_.isEmpty() ? queued_.takeFirst()
                       : responder_       ? responder_(request)
                                          : unscripted;
        if (auto* response = std::get_if<HttpResponse>(&outcome);
            response && response->body.size() > request.maxBodyBytes) {
            if (request.overflow == HttpRequest::Overflow::fail)
                co_return HttpFailure{HttpFailure::Kind::tooLarge, {}};
            response->body.truncate(request.maxBodyBytes);
            response->truncated = true;
        }
        co_return outcome;
    }

private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QList<HttpOutcome> queued_;
    Responder responder_;
    QList<HttpRequest> requests_;
};

} // namespace tessaron::testing
