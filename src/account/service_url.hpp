#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// Where a request to the account service goes: the base URL's scheme, user information, host and port,
// followed by the endpoint path. A path, query or fragment of the configured base URL is dropped, never
// prefixed. None when either part does not form a URL.
std::optional<QUrl> accountServiceURL(const QUrl& baseURL, const QString& path);

} // namespace tessaron
