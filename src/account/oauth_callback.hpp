#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// What the browser handed back at the end of a web sign-in.
struct TessaronOAuthCallback {
    // A non-empty "code": the sign-in can be completed.
    std::optional<QString> code;
    // The provider's or service's "error" when there is no code.
    std::optional<QString> error;
    // The "state" the callback carries, when it carries one.
    std::optional<QString> state;
    // Not a URL of the application's scheme.
    bool malformed = false;
};

// Query items are matched by their exact name: "Code" is no code.
TessaronOAuthCallback parseOAuthCallback(const QUrl& url);

// The user's text for a callback without a usable code.
QString oauthErrorText(const std::optional<QString>& errorCode);

} // namespace tessaron
