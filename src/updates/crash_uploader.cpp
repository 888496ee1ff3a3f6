#include "updates/crash_uploader.hpp"

#include "platform/bounded_exchange.hpp"

#include <chrono>

namespace tessaron {

namespace {

std::optional<QUrl> endpoint(const std::optional<QUrl>& base) {
    if (!base)
        return std::nullopt;
    return base->resolved(QUrl(QStringLiteral("/v1/diagnostics/crash")));
}

} // namespace

PairingCrashUploader::PairingCrashUploader(std::optional<QUrl> baseURL, HttpTransport& transport,
                                           Clock& clock, ReplyObserver replyObserver,
                                           std::function<QString()> buildLabel)
    : endpoint_(endpoint(normalizedBaseURL(baseURL)))
    , transport_(transport)
    , clock_(clock)
    , replyObserver_(std::move(replyObserver))
    , buildLabel_(std::move(buildLabel)) {}

std::optional<QUrl> PairingCrashUploader::normalizedBaseURL(const std::optional<QUrl>& baseURL) {
    if (!baseURL || !baseURL->isValid() || baseURL->scheme().compare(u"https", Qt::CaseInsensitive) != 0 ||
        baseURL->host().isEmpty())
        return std::nullopt;
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setAuthority(baseURL->authority());
    return url;
}

QCoro::Task<bool> PairingCrashUploader::upload(TessaronCrashReport report, CancellationToken cancellation) {
    if (!endpoint_)
        co_return false;
    HttpRequest request{
        .method = "POST",
        .url = *endpoint_,
        .headers = {{"Content-Type", "application/json"},
                    {"Accept", "application/json"},
                    {"X-Tessaron-Client", buildLabel_().toUtf8()}},
        .body = report.encoded(),
        .timeout = std::chrono::seconds(15),
        .maxBodyBytes = observedBodyLimit,
        .overflow = HttpRequest::Overflow::truncate,
        // A moved endpoint still takes the report, on HTTPS only.
        .followRedirects = true,
    };
    const auto outcome = co_await sendWithinLimit(&transport_, &clock_, exchangeLimit, std::move(request),
                                                  std::move(cancellation));
    const auto* response = std::get_if<HttpResponse>(&outcome);
    if (!response)
        co_return false;
    replyObserver_(response->status, response->truncated ? std::nullopt : std::optional(response->body));
    co_return response->status == acceptedStatus;
}

} // namespace tessaron
