#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// What a pasted invitation text turned out to be: a link to open, a bare code, or nothing usable.
class TessaronAccessInput {
public:
    enum class Kind { invitationLink, invitationToken, invalid };

    static TessaronAccessInput invitationLink(QUrl url) { return {Kind::invitationLink, std::move(url), {}}; }
    static TessaronAccessInput invitationToken(QString token) {
        return {Kind::invitationToken, {}, std::move(token)};
    }
    static TessaronAccessInput invalid() { return {Kind::invalid, {}, {}}; }

    // Trims the text, then takes an https or "tessaron" link that carries "invite=" or "code=", else a bare
    // code, else invalid. Never fails.
    static TessaronAccessInput parse(const QString& text);

    // The web link that redeems a code: "https://<base host>/connect#invite=<code>". None without a base
    // host. The base's port and path are not carried, and the code is not checked again.
    static std::optional<QUrl> invitationConnectURL(const QString& token, const std::optional<QUrl>& base);

    Kind kind() const { return kind_; }
    // The payload of invitationLink; empty otherwise.
    const QUrl& link() const { return link_; }
    // The payload of invitationToken; empty otherwise.
    const QString& token() const { return token_; }

    friend bool operator==(const TessaronAccessInput&, const TessaronAccessInput&) = default;

private:
    TessaronAccessInput(Kind kind, QUrl link, QString token)
        : kind_(kind)
        , link_(std::move(link))
        , token_(std::move(token)) {}

    Kind kind_;
    QUrl link_;
    QString token_;
};

// The invitation code an opened link carries: https links to "/connect" and any "tessaron" link, with the
// code in the fragment's "invite", else the query's "invite", else its "code". None when the first of those
// present is not a bare code (32 to 128 ASCII letters, digits, "-" or "_").
//
// The web sign-in callback also arrives as a "tessaron" link with "code" in its query: whoever routes
// opened links must keep those away from this function.
std::optional<QString> invitationCode(const QUrl& url);

} // namespace tessaron
