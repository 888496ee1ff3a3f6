#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessaron {

// One VPN connection profile. A profile only exists validated: every way in goes through fromJSON.
class TessaronProfile {
public:
    enum class Security { tls, reality };

    // The XHTTP fallback transport of a node.
    struct XhttpSection {
        QString path;
        QString serverName;
    };

    struct DecodeOptions {
        // A profile without "id" gets a fresh random one instead of being refused.
        bool assignIDIfMissing = false;
        // Accept (and drop) the "transport" key that stored profile items carry.
        bool allowTransportKeys = false;
    };

    qint64 version = 0;
    QUuid id;
    QString name;
    QString server;
    int port = 0;
    QUuid userID;
    Security security = Security::tls;
    QString serverName;
    std::optional<QString> publicKey;
    std::optional<QString> shortID;
    std::optional<QString> fingerprint;
    QString flow;
    std::optional<QStringList> dnsServers;
    std::optional<XhttpSection> xhttp;

    // Validates every field; throws TessaronProfileError. Unknown keys are dropped and null reads as absent.
    // Without options, an id is required and "transport" is refused.
    static TessaronProfile fromJSON(const QJsonValue& value);
    static TessaronProfile fromJSON(const QJsonValue& value, DecodeOptions options);

    // The canonical object: absent optionals omitted, UUIDs in upper case.
    QJsonObject toJSON() const;
    // Compact UTF-8 with keys in byte order at every level; "/" and non-ASCII text are written as they are.
    // Profiles are stored and compared in this form, so it must stay stable byte for byte.
    QByteArray canonicalJSON() const;

    friend bool operator==(const TessaronProfile& a, const TessaronProfile& b) {
        return a.canonicalJSON() == b.canonicalJSON();
    }
};

} // namespace tessaron
