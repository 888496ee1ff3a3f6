#include "app/opened_url_router.hpp"

#include "platform/system_log.hpp"

#include <QUrlQuery>

namespace tessaron {

namespace {

bool isOwnScheme(const QUrl& url) {
    return url.scheme().compare(OpenedUrlRouter::scheme, Qt::CaseInsensitive) == 0;
}

// Only a sign-in callback carries these; no invitation link does.
bool looksLikeSignInCallback(const QUrl& url) {
    const QUrlQuery query(url);
    return query.hasQueryItem(QStringLiteral("error")) || query.hasQueryItem(QStringLiteral("state"));
}

} // namespace

bool OpenedUrlRouter::takes(const QUrl& url) {
    if (!url.isValid() || url.toEncoded().size() > longestUrl)
        return false;
    const bool https = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    return isOwnScheme(url) || (https && !url.host().isEmpty());
}

OpenedUrlRouter::OpenedUrlRouter(WebAuthSession& webSignIn,
                                 std::function<void(const QUrl&)> openInvitationLink)
    : webSignIn_(webSignIn)
    , openInvitationLink_(std::move(openInvitationLink)) {}

OpenedUrlRouter::Route OpenedUrlRouter::open(const QUrl& url) {
    if (isOwnScheme(url)) {
        if (webSignIn_.deliverCallback(url))
            return Route::webSignIn;
        if (looksLikeSignInCallback(url)) {
            static const SystemLog log(QStringLiteral("open-url"));
            log.info(QStringLiteral("sign-in callback dropped: no sign-in is waiting"));
            return Route::dropped;
        }
    }
    openInvitationLink_(url);
    return Route::invitation;
}

} // namespace tessaron
