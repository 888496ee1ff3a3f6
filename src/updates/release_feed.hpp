#pragma once

#include "platform/clock.hpp"
#include "platform/http_transport.hpp"
#include "updates/release_info.hpp"

#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace tessaron {

// The product's release feed: a JSON record of the latest release, read only from a 200 reply, following
// the transport's HTTPS redirects.
class ReleaseFeed {
public:
    // The transport ends a stalled transfer after 10 s; a server that drips its reply ends here.
    static constexpr std::chrono::seconds exchangeLimit{20};

    ReleaseFeed(HttpTransport& transport, Clock& clock, QUrl url);

    // None when the feed cannot be reached within the limit, answers anything but 200 or does not decode.
    QCoro::Task<std::optional<TessaronReleaseInfo>> fetchLatest(CancellationToken cancellation = {}) const;

private:
    HttpTransport& transport_;
    Clock& clock_;
    QUrl url_;
};

} // namespace tessaron
