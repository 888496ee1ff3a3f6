#include "health/connection_health_checker.hpp"

#include <array>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr std::array<Clock::Duration, 2> retryWaits{1s, 2s};

TessaronProbeOutcome failed(TessaronProbeFailure failure) {
    return {TessaronProbeResult::failure, failure};
}

TessaronProbeOutcome judge(const HttpResponse& response) {
    if (response.status != 200)
        return failed(TessaronProbeFailure::http(response.status));
    // Lenient decoding: a body cut at the limit inside a multi-byte character must not hide a "Success"
    // that came before the cut.
    const auto text = QString::fromUtf8(response.body);
    if (!text.contains(QLatin1String("Success"), Qt::CaseInsensitive))
        return failed(TessaronProbeFailure::noSuccess());
    return {TessaronProbeResult::success, std::nullopt};
}

TessaronProbeOutcome judge(const HttpFailure& failure, bool ranOutOfTime) {
    switch (failure.kind) {
    case HttpFailure::Kind::cancelled:
        return ranOutOfTime ? failed(TessaronProbeFailure::timeout())
                            : TessaronProbeOutcome{TessaronProbeResult::cancelled, std::nullopt};
    case HttpFailure::Kind::timedOut:
        return failed(TessaronProbeFailure::timeout());
    case HttpFailure::Kind::tooLarge:
    case HttpFailure::Kind::transport:
        break;
    }
    return failed(TessaronProbeFailure::error());
}

QCoro::Task<> cancelWhenDue(Clock* clock, Clock::Duration limit, CancellationSource request,
                            std::shared_ptr<bool> ranOutOfTime, CancellationToken finished) {
    co_await clock->sleep(limit, finished);
    if (finished.isCancelled())
        co_return;
    *ranOutOfTime = true;
    request.cancel();
}

} // namespace

QString TessaronProbeFailure::reason() const {
    switch (kind) {
    case Kind::http:
        return QStringLiteral("http %1").arg(status);
    case Kind::timeout:
        return QStringLiteral("timeout");
    case Kind::noSuccess:
        return QStringLiteral("no Success");
    case Kind::error:
        break;
    }
    return QStringLiteral("error");
}

ConnectionHealthChecker::ConnectionHealthChecker(HttpTransport& transport, Clock& clock, LogLine log,
                                                 QUrl page, ReachabilityTimeouts timeouts)
    : transport_(&transport)
    , clock_(&clock)
    , log_(std::move(log))
    , page_(std::move(page))
    , timeouts_(timeouts) {}

QCoro::Task<TessaronProbeResult> ConnectionHealthChecker::run(CancellationToken cancellation) const {
    return runAttempts(*this, std::move(cancellation));
}

QCoro::Task<TessaronProbeOutcome> ConnectionHealthChecker::probeOnce(int number,
                                                                     CancellationToken cancellation) const {
    return attempt(*this, number, std::move(cancellation));
}

QCoro::Task<TessaronProbeResult> ConnectionHealthChecker::runAttempts(ConnectionHealthChecker checker,
                                                                      CancellationToken cancellation) {
    for (int number = 1;; ++number) {
        if (cancellation.isCancelled())
            co_return TessaronProbeResult::cancelled;
        const auto outcome = co_await attempt(checker, number, cancellation);
        if (outcome.result != TessaronProbeResult::failure || number == maxAttempts)
            co_return outcome.result;
        if (cancellation.isCancelled())
            co_return TessaronProbeResult::cancelled;
        co_await checker.clock_->sleep(retryWaits[number - 1], cancellation);
    }
}

QCoro::Task<TessaronProbeOutcome> ConnectionHealthChecker::attempt(ConnectionHealthChecker checker,
                                                                   int number,
                                                                   CancellationToken cancellation) {
    const auto start = checker.clock_->monotonic();
    if (cancellation.isCancelled())
        co_return TessaronProbeOutcome{TessaronProbeResult::cancelled, std::nullopt};
    auto ranOutOfTime = std::make_shared<bool>(false);
    const auto reply = co_await fetch(checker, cancellation, ranOutOfTime);
    TessaronProbeOutcome outcome{TessaronProbeResult::cancelled, std::nullopt};
    if (cancellation.isCancelled())
        co_return outcome;
    if (const auto* response = std::get_if<HttpResponse>(&reply))
        outcome = judge(*response);
    else
        outcome = judge(std::get<HttpFailure>(reply), *ranOutOfTime);
    // A cancelled attempt may outlive the owner of the clock and the log: it touches neither.
    if (outcome.result != TessaronProbeResult::cancelled)
        checker.logOutcome(number, outcome, checker.clock_->monotonic() - start);
    co_return outcome;
}

QCoro::Task<HttpOutcome> ConnectionHealthChecker::fetch(ConnectionHealthChecker checker,
                                                        CancellationToken cancellation,
                                                        std::shared_ptr<bool> ranOutOfTime) {
    HttpRequest request;
    request.url = checker.page_;
    request.timeout = checker.timeouts_.stall;
    request.maxBodyBytes = bodyLimit;
    request.overflow = HttpRequest::Overflow::truncate;
    // A captive portal answers with a redirect; the page judged is the one finally reached.
    request.followRedirects = true;

    CancellationSource requestCancellation;
    const auto forward =
        cancellation.onCancel([requestCancellation]() mutable { requestCancellation.cancel(); });
    CancellationSource finished;
    cancelWhenDue(checker.clock_, checker.timeouts_.total, requestCancellation, ranOutOfTime,
                  finished.token());
    auto reply = co_await checker.transport_->send(std::move(request), requestCancellation.token());
    finished.cancel();
    cancellation.removeCallback(forward);
    co_return reply;
}

void ConnectionHealthChecker::logOutcome(int number, const TessaronProbeOutcome& outcome,
                                         Clock::Duration elapsed) const {
    if (!log_)
        return;
    const auto seconds = QString::asprintf("%.2f", std::chrono::duration<double>(elapsed).count());
    if (outcome.result == TessaronProbeResult::success)
        log_(QStringLiteral("check #%1: success %2 s").arg(number).arg(seconds));
    else
        log_(QStringLiteral("check #%1: failure %2 s (%3)")
                 .arg(number)
                 .arg(seconds, outcome.failure->reason()));
}

} // namespace tessaron
