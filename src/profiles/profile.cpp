#include "profiles/profile.hpp"

#include "profiles/json_values.hpp"
#include "profiles/profile_error.hpp"
#include "profiles/transport.hpp"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace tessaron {

namespace {

constexpr qint64 maximumVersion = 2'147'483'647;
constexpr qint64 maximumPort = 65'535;
constexpr qsizetype maximumNameLength = 128;
constexpr qsizetype maximumHostLength = 253;
constexpr qsizetype publicKeyLength = 43;
constexpr qsizetype maximumShortIDLength = 16;
constexpr qsizetype maximumFingerprintLength = 32;
constexpr qsizetype maximumDNSServers = 8;
constexpr qsizetype maximumPathBytes = 256;

const QString visionFlow = QStringLiteral("xtls-rprx-vision");

bool isAsciiLetterOrDigit(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

template <typename Predicate> bool allOf(QStringView text, Predicate predicate) {
    return std::all_of(text.begin(), text.end(), predicate);
}

// Covers IPv4 literals too, which are digits and dots.
bool isHostName(QStringView text) {
    return allOf(text, [](QChar c) { return isAsciiLetterOrDigit(c) || c == u'-' || c == u'.'; });
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// QHostAddress also takes a scope identifier ("%eth0") and surrounding white space; allowing only hex
// digits, colons and dots keeps the literal plain.
bool isIPv6Literal(QStringView text) {
    const bool plain = allOf(text, [](QChar c) { return isHexDigit(c) || c == u':' || c == u'.'; });
    return plain && QHostAddress(text.toString()).protocol() == QAbstractSocket::IPv6Protocol;
}

// QHostAddress also reads "127.1", "0x7f.0.0.1" and leading zeros; only the dotted quad it would write back
// is a literal here.
bool isIPv4Literal(QStringView text) {
    const QHostAddress address(text.toString());
    return address.protocol() == QAbstractSocket::IPv4Protocol && address.toString() == text;
}

bool isServerAddress(QStringView text) {
    return !text.isEmpty() && text.size() <= maximumHostLength && (isHostName(text) || isIPv6Literal(text));
}

bool isDNSServer(QStringView text) {
    return text.contains(u':') ? isIPv6Literal(text) : isIPv4Literal(text);
}

// The C0 and C1 control characters and DEL.
bool isControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
}

qsizetype codePointCount(QStringView text) {
    return text.size() - std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLowSurrogate(); });
}

// Lone surrogates cannot be written as UTF-8, so such a name would not survive the canonical form.
bool isDisplayName(QStringView text) {
    if (!text.isValidUtf16() || std::any_of(text.begin(), text.end(), isControl))
        return false;
    const qsizetype length = codePointCount(text.trimmed());
    return length >= 1 && length <= maximumNameLength;
}

bool isPublicKey(QStringView text) {
    return text.size() == publicKeyLength &&
           allOf(text, [](QChar c) { return isAsciiLetterOrDigit(c) || c == u'-' || c == u'_'; });
}

bool isShortID(QStringView text) {
    return text.size() <= maximumShortIDLength && text.size() % 2 == 0 && allOf(text, isHexDigit);
}

bool isFingerprint(QStringView text) {
    return !text.isEmpty() && text.size() <= maximumFingerprintLength && allOf(text, [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
    });
}

// Control characters and lone surrogates are refused as well as white space: none can travel in a request.
bool isXhttpPath(QStringView text) {
    return text.startsWith(u'/') && text.isValidUtf16() && text.toUtf8().size() <= maximumPathBytes &&
           std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSpace() || isControl(c); });
}

std::optional<TessaronProfile::Security> securityFromRawValue(QStringView text) {
    if (text == u"tls")
        return TessaronProfile::Security::tls;
    if (text == u"reality")
        return TessaronProfile::Security::reality;
    return std::nullopt;
}

QString rawValue(TessaronProfile::Security security) {
    return security == TessaronProfile::Security::tls ? QStringLiteral("tls") : QStringLiteral("reality");
}

// Reads one object's fields, reporting failures with the key as the user will see it ("xhttp.path").
class FieldReader {
public:
    FieldReader(QJsonObject object, QString prefix)
        : object_(std::move(object))
        , prefix_(std::move(prefix)) {}

    std::optional<QJsonValue> optional(const QString& key) const {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return value;
    }

    QJsonValue required(const QString& key) const {
        const auto value = optional(key);
        if (!value)
            throw TessaronProfileError::missingField(path(key));
        return *value;
    }

    QString text(const QString& key) const { return checkedText(key, required(key)); }

    template <typename Predicate> QString string(const QString& key, Predicate isValid) const {
        return validated(key, required(key), isValid);
    }

    template <typename Predicate>
    std::optional<QString> optionalString(const QString& key, Predicate isValid) const {
        const auto value = optional(key);
        return value ? std::optional(validated(key, *value, isValid)) : std::nullopt;
    }

    qint64 integer(const QString& key, qint64 minimum, qint64 maximum) const {
        const auto number = integralValue(required(key));
        if (!number || *number < minimum || *number > maximum)
            invalid(key);
        return *number;
    }

    QUuid uuid(const QString& key) const {
        const auto uuid = uuidFromText(text(key));
        if (!uuid)
            invalid(key);
        return *uuid;
    }

    [[noreturn]] void invalid(const QString& key) const {
        throw TessaronProfileError::invalidField(path(key));
    }

private:
    QString path(const QString& key) const { return prefix_.isEmpty() ? key : prefix_ + u'.' + key; }

    QString checkedText(const QString& key, const QJsonValue& value) const {
        if (!value.isString())
            invalid(key);
        return value.toString();
    }

    template <typename Predicate>
    QString validated(const QString& key, const QJsonValue& value, Predicate isValid) const {
        QString string = checkedText(key, value);
        if (!isValid(string))
            invalid(key);
        return string;
    }

    QJsonObject object_;
    QString prefix_;
};

std::optional<TessaronTransport> readTransport(const FieldReader& fields, bool allowed) {
    const auto value = fields.optional(QStringLiteral("transport"));
    if (!value)
        return std::nullopt;
    if (!allowed)
        throw TessaronProfileError::unexpectedTransportKey();
    const auto transport = transportFromRawValue(fields.text(QStringLiteral("transport")));
    if (!transport)
        fields.invalid(QStringLiteral("transport"));
    return transport;
}

std::optional<QStringList> readDNSServers(const FieldReader& fields) {
    const QString key = QStringLiteral("dnsServers");
    const auto value = fields.optional(key);
    if (!value)
        return std::nullopt;
    if (!value->isArray() || value->toArray().size() > maximumDNSServers)
        fields.invalid(key);
    QStringList servers;
    for (const QJsonValue& server : value->toArray()) {
        if (!server.isString() || !isDNSServer(server.toString()))
            fields.invalid(key);
        servers.append(server.toString());
    }
    return servers.isEmpty() ? std::nullopt : std::optional(servers);
}

std::optional<TessaronProfile::XhttpSection> readXhttp(const FieldReader& fields) {
    const QString key = QStringLiteral("xhttp");
    const auto value = fields.optional(key);
    if (!value)
        return std::nullopt;
    if (!value->isObject())
        fields.invalid(key);
    const FieldReader section(value->toObject(), key);
    return TessaronProfile::XhttpSection{
        .path = section.string(QStringLiteral("path"), isXhttpPath),
        .serverName = section.string(QStringLiteral("serverName"), isServerAddress),
    };
}

// Reality needs the server's public key; TLS has no use for Reality's key material and refuses it.
void readSecurityKeys(const FieldReader& fields, TessaronProfile& profile) {
    const QString publicKey = QStringLiteral("publicKey");
    const QString shortID = QStringLiteral("shortID");
    if (profile.security == TessaronProfile::Security::tls) {
        if (fields.optional(publicKey))
            fields.invalid(publicKey);
        if (fields.optional(shortID))
            fields.invalid(shortID);
        return;
    }
    profile.publicKey = fields.string(publicKey, isPublicKey);
    profile.shortID = fields.optionalString(shortID, isShortID);
}

} // namespace

TessaronProfile TessaronProfile::fromJSON(const QJsonValue& value) {
    return fromJSON(value, DecodeOptions{});
}

TessaronProfile TessaronProfile::fromJSON(const QJsonValue& value, DecodeOptions options) {
    if (!value.isObject())
        throw TessaronProfileError::malformed();
    const FieldReader fields(value.toObject(), {});
    const auto transport = readTransport(fields, options.allowTransportKeys);

    TessaronProfile profile;
    profile.version = fields.integer(QStringLiteral("version"), 1, maximumVersion);
    if (options.assignIDIfMissing && !fields.optional(QStringLiteral("id")))
        profile.id = QUuid::createUuid();
    else
        profile.id = fields.uuid(QStringLiteral("id"));
    profile.name = fields.string(QStringLiteral("name"), isDisplayName);
    profile.server = fields.string(QStringLiteral("server"), isServerAddress);
    profile.port = static_cast<int>(fields.integer(QStringLiteral("port"), 1, maximumPort));
    profile.userID = fields.uuid(QStringLiteral("userID"));
    const auto security = securityFromRawValue(fields.text(QStringLiteral("security")));
    if (!security)
        fields.invalid(QStringLiteral("security"));
    profile.security = *security;
    profile.serverName = fields.string(QStringLiteral("serverName"), isServerAddress);
    readSecurityKeys(fields, profile);
    profile.fingerprint = fields.optionalString(QStringLiteral("fingerprint"), isFingerprint);
    profile.flow =
        fields.string(QStringLiteral("flow"), [](const QString& text) { return text == visionFlow; });
    profile.dnsServers = readDNSServers(fields);
    profile.xhttp = readXhttp(fields);

    if (transport == TessaronTransport::xhttp && !profile.xhttp)
        fields.invalid(QStringLiteral("transport"));
    return profile;
}

QJsonObject TessaronProfile::toJSON() const {
    QJsonObject object{
        {QStringLiteral("version"), version},
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("server"), server},
        {QStringLiteral("port"), port},
        {QStringLiteral("userID"), uuidText(userID)},
        {QStringLiteral("security"), rawValue(security)},
        {QStringLiteral("serverName"), serverName},
        {QStringLiteral("flow"), flow},
    };
    if (publicKey)
        object.insert(QStringLiteral("publicKey"), *publicKey);
    if (shortID)
        object.insert(QStringLiteral("shortID"), *shortID);
    if (fingerprint)
        object.insert(QStringLiteral("fingerprint"), *fingerprint);
    if (dnsServers)
        object.insert(QStringLiteral("dnsServers"), QJsonArray::fromStringList(*dnsServers));
    if (xhttp) {
        object.insert(QStringLiteral("xhttp"),
                      QJsonObject{{QStringLiteral("path"), xhttp->path},
                                  {QStringLiteral("serverName"), xhttp->serverName}});
    }
    return object;
}

QByteArray TessaronProfile::canonicalJSON() const {
    // QJsonObject keeps its keys in UTF-16 order, which is byte order for the ASCII keys of a profile, and
    // the compact writer escapes only quotes, backslashes and control characters.
    return QJsonDocument(toJSON()).toJson(QJsonDocument::Compact);
}

} // namespace tessaron
