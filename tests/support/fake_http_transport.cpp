#include "support/fake_http_transport.hpp"

namespace tessaron::testing {

void FakeHttpTransport::enqueue(int status, QByteArray body, HttpHeaders headers) {
    enqueue(HttpResponse{.status = status, .headers = std::move(headers), .body = std::move(body)});
}

HttpOutcome FakeHttpTransport::answer(const HttpRequest& request) {
    if (!queued_.empty()) {
        const auto next = std::move(queued_.front());
        queued_.pop_front();
        return next(request);
    }
    if (responder_)
        return responder_(request);
    return HttpFailure{HttpFailure::Kind::transport, QStringLiteral("no scripted reply")};
}

QCoro::Task<HttpOutcome> FakeHttpTransport::send(HttpRequest request, CancellationToken cancellation) {
    requests_.append(request);
    if (cancellation.isCancelled())
        co_return HttpFailure{HttpFailure::Kind::cancelled, {}};
    auto outcome = answer(request);
    if (auto* response = std::get_if<HttpResponse>(&outcome);
        response && response->body.size() > request.maxBodyBytes) {
        if (request.overflow == HttpRequest::Overflow::fail)
            co_return HttpFailure{HttpFailure::Kind::tooLarge, {}};
        response->body.truncate(request.maxBodyBytes);
        response->truncated = true;
    }
    co_return outcome;
}

} // namespace tessaron::testing
