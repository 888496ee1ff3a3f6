#include "account/service_url.hpp"

namespace tessaron {

std::optional<QUrl> accountServiceURL(const QUrl& baseURL, const QString& path) {
    if (!baseURL.isValid() || baseURL.isRelative())
        return std::nullopt;
    QUrl origin = baseURL.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (origin.path() != QStringLiteral("/"))
        origin.setPath(QString());

    const QUrl endpoint(path, QUrl::StrictMode);
    if (!endpoint.isValid())
        return std::nullopt;
    const auto url = origin.resolved(endpoint);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace tessaron
