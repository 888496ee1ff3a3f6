#pragma once

#include "platform/http_transport.hpp"
#include "platform/linux_update_framework.hpp"
#include "updates/release_info.hpp"

#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tessaron {

// The product's release feed: a JSON record of the latest release, read only from a 200 reply, following
// the transport's HTTPS redirects.
class ReleaseFeed {
public:
    ReleaseFeed(HttpTransport& transport, QUrl url);

    // None when the feed cannot be reached, answers anything but 200 or does not decode.
    QCoro::Task<std::optional<TessaronReleaseInfo>> fetchLatest() const;
    // What the update framework's checks find: a release newer than `installed`, with the download page.
    QCoro::Task<LinuxUpdateFramework::Outcome> findUpdate(QString installed, QUrl downloadPage) const;

private:
    HttpTransport& transport_;
    QUrl url_;
};

} // namespace tessaron
