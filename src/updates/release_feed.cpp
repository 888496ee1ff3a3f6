#include "updates/release_feed.hpp"

#include "platform/bounded_exchange.hpp"

namespace tessaron {

ReleaseFeed::ReleaseFeed(HttpTransport& transport, Clock& clock, QUrl url)
    : transport_(transport)
    , clock_(clock)
    , url_(std::move(url)) {}

QCoro::Task<std::optional<TessaronReleaseInfo>>
ReleaseFeed::fetchLatest(CancellationToken cancellation) const {
    HttpRequest request{
        .method = "GET",
        .url = url_,
        .headers = {{"Accept", "application/json"}},
        .body = {},
        .timeout = std::chrono::seconds(10),
        .maxBodyBytes = 65'536,
        // A moved feed keeps delivering minimum versions; the transport follows only to HTTPS.
        .followRedirects = true,
    };
    const auto outcome = co_await sendWithinLimit(&transport_, &clock_, exchangeLimit, std::move(request),
                                                  std::move(cancellation));
    const auto* response = std::get_if<HttpResponse>(&outcome);
    if (!response || response->status != 200)
        co_return std::nullopt;
    try {
        co_return TessaronReleaseInfo::decoded(response->body);
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

} // namespace tessaron
