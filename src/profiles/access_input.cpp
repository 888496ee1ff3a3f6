#include "profiles/access_input.hpp"

#include "profiles/identifiers.hpp"

#include <QUrlQuery>

#include <algorithm>

namespace tessaron {

namespace {

const QString httpsScheme = QStringLiteral("https");
const QString appScheme = QStringLiteral("tessaron");

bool isCodeCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'_';
}

// Lower-cases ASCII letters only, so the prefix test cannot be fooled by case mappings of other scripts.
QString asciiLowerCased(const QString& text) {
    QString lowered = text;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c; });
    return lowered;
}

bool looksLikeInvitationLink(const QString& text) {
    const QString lowered = asciiLowerCased(text);
    const bool knownScheme =
        lowered.startsWith(QStringLiteral("https://")) || lowered.startsWith(QStringLiteral("tessaron://"));
    return knownScheme &&
           (lowered.contains(QStringLiteral("invite=")) || lowered.contains(QStringLiteral("code=")));
}

// The value of the first "invite" parameter of a fragment such as "invite=abc&ref=x", still encoded.
std::optional<QString> fragmentInvite(const QUrl& url) {
    if (!url.hasFragment())
        return std::nullopt;
    const QString fragment = url.fragment(QUrl::FullyEncoded);
    for (const QStringView parameter : QStringView(fragment).split(u'&')) {
        const qsizetype equals = parameter.indexOf(u'=');
        if (equals >= 0 && parameter.first(equals) == u"invite")
            return parameter.sliced(equals + 1).toString();
    }
    return std::nullopt;
}

std::optional<QString> queryItem(const QUrlQuery& query, const QString& key) {
    if (!query.hasQueryItem(key))
        return std::nullopt;
    return query.queryItemValue(key, QUrl::FullyEncoded);
}

bool isConnectPath(const QString& path) {
    return path == u"/connect" || path == u"/connect/";
}

bool isInvitationCode(QStringView text) {
    return text.size() >= TessaronIdentifiers::invitationCodeMinimumLength &&
           text.size() <= TessaronIdentifiers::invitationCodeMaximumLength &&
           std::all_of(text.begin(), text.end(), isCodeCharacter);
}

} // namespace

TessaronAccessInput TessaronAccessInput::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return invalid();
    if (looksLikeInvitationLink(trimmed)) {
        const QUrl url(trimmed, QUrl::StrictMode);
        if (url.isValid())
            return invitationLink(url);
    }
    if (isInvitationCode(trimmed))
        return invitationToken(trimmed);
    return invalid();
}

std::optional<QUrl> TessaronAccessInput::invitationConnectURL(const QString& token,
                                                              const std::optional<QUrl>& base) {
    if (!base || base->host().isEmpty())
        return std::nullopt;
    QUrl url;
    url.setScheme(httpsScheme);
    url.setHost(base->host());
    url.setPath(QStringLiteral("/connect"));
    // Decoded mode takes the token literally; the URL percent-encodes whatever a fragment cannot hold.
    url.setFragment(QStringLiteral("invite=") + token, QUrl::DecodedMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QString> invitationCode(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    const bool accepted = scheme == appScheme || (scheme == httpsScheme && isConnectPath(url.path()));
    if (!accepted)
        return std::nullopt;
    const QUrlQuery query(url);
    auto encoded = fragmentInvite(url);
    if (!encoded)
        encoded = queryItem(query, QStringLiteral("invite"));
    if (!encoded)
        encoded = queryItem(query, QStringLiteral("code"));
    if (!encoded)
        return std::nullopt;
    const QString code = QUrl::fromPercentEncoding(encoded->toUtf8());
    if (!isInvitationCode(code))
        return std::nullopt;
    return code;
}

} // namespace tessaron
