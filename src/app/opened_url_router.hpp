#pragma once

#include "platform/web_auth_session.hpp"

#include <QUrl>

#include <functional>

namespace tessaron {

// Where a URL opened from outside goes. A URL in the application's scheme may be the callback of a web
// sign-in, and such a callback also carries "code=" like an invitation link: a waiting sign-in takes it
// first, and a callback that arrives after its sign-in ended is dropped rather than read as an invitation.
class OpenedUrlRouter {
public:
    enum class Route { webSignIn, invitation, dropped };

    static inline const QString scheme = QStringLiteral("tessaron");
    // Far above any invitation link or sign-in callback.
    static constexpr qsizetype longestUrl = 16 * 1024;

    // Only https links (with a host) and URLs in the application's scheme are opened, whoever hands them
    // in: a "javascript:" or "file:" URL would otherwise reach the invitation flow and start a connect.
    static bool takes(const QUrl& url);

    OpenedUrlRouter(WebAuthSession& webSignIn, std::function<void(const QUrl&)> openInvitationLink);

    Route open(const QUrl& url);

private:
    WebAuthSession& webSignIn_;
    std::function<void(const QUrl&)> openInvitationLink_;
};

} // namespace tessaron
