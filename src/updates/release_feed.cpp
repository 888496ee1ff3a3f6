#include "updates/release_feed.hpp"

#include <chrono>

namespace tessaron {

ReleaseFeed::ReleaseFeed(HttpTransport& transport, QUrl url)
    : transport_(transport)
    , url_(std::move(url)) {}

QCoro::Task<std::optional<TessaronReleaseInfo>> ReleaseFeed::fetchLatest() const {
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
    const auto outcome = co_await transport_.send(std::move(request));
    const auto* response = std::get_if<HttpResponse>(&outcome);
    if (!response || response->status != 200)
        co_return std::nullopt;
    try {
        co_return TessaronReleaseInfo::decoded(response->body);
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

QCoro::Task<LinuxUpdateFramework::Outcome> ReleaseFeed::findUpdate(QString installed,
                                                                   QUrl downloadPage) const {
    const auto latest = co_await fetchLatest();
    if (!latest)
        co_return LinuxUpdateFramework::Outcome::failed();
    if (!compareVersions(installed, latest->version))
        co_return LinuxUpdateFramework::Outcome::upToDate();
    co_return LinuxUpdateFramework::Outcome::found({latest->version, downloadPage});
}

} // namespace tessaron
