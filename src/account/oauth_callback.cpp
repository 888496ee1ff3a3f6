#include "account/oauth_callback.hpp"

#include <QCoreApplication>
#include <QUrlQuery>

namespace tessaron {

namespace {

std::optional<QString> firstItem(const QUrlQuery& query, const QString& name) {
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

} // namespace

TessaronOAuthCallback parseOAuthCallback(const QUrl& url) {
    TessaronOAuthCallback callback;
    if (!url.isValid() || url.scheme().toLower() != QStringLiteral("tessaron")) {
        callback.malformed = true;
        return callback;
    }
    const QUrlQuery query(url);
    callback.state = firstItem(query, QStringLiteral("state"));
    const auto code = firstItem(query, QStringLiteral("code"));
    if (code && !code->isEmpty())
        callback.code = code;
    else
        callback.error = firstItem(query, QStringLiteral("error"));
    return callback;
}

QString oauthErrorText(const std::optional<QString>& errorCode) {
    if (errorCode == QStringLiteral("access_denied")) {
        //: OAuth sign-in cancelled at the provider.
        return QCoreApplication::translate("TessaronAccountModel", "Sign-in was cancelled.");
    }
    if (errorCode == QStringLiteral("invalid_state")) {
        //: OAuth state expired or replayed.
        return QCoreApplication::translate("TessaronAccountModel", "Sign-in expired. Please try again.");
    }
    if (errorCode == QStringLiteral("email_required")) {
        //: OAuth provider account has no verified email.
        return QCoreApplication::translate("TessaronAccountModel",
                                           "This sign-in needs a verified email address. Verify it with the "
                                           "provider, then try again.");
    }
    //: OAuth provider failed or callback malformed.
    return QCoreApplication::translate("TessaronAccountModel", "Sign-in failed. Please try again.");
}

} // namespace tessaron
