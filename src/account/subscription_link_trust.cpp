#include "account/account_client.hpp"

#include <algorithm>

namespace tessaron {

namespace {

constexpr QStringView pathPrefix = u"/v1/sub/";
constexpr qsizetype tokenLength = 43;

bool isUrlSafeBase64(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'_';
}

} // namespace

bool TessaronAccountClient::isTrustedSubscriptionURL(const QUrl& url, const QString& expectedHost) {
    const auto host = expectedHost.toLower();
    if (host.isEmpty())
        return false;
    if (url.scheme().toLower() != QStringLiteral("https") || url.host().toLower() != host)
        return false;
    // "https://@host" has an empty user, which is still a user.
    if (url.authority().contains(u'@') || url.hasQuery() || url.hasFragment())
        return false;
    const auto path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(pathPrefix))
        return false;
    const auto token = QStringView(path).sliced(pathPrefix.size());
    return token.size() == tokenLength && std::ranges::all_of(token, isUrlSafeBase64);
}

} // namespace tessaron
