#include "platform/tunnel_messages.hpp"

#include <QJsonObject>

namespace tessaron::tunnel_message {

namespace {

const QString domainField = QStringLiteral("domain");
const QString codeField = QStringLiteral("code");

QJsonValue encodeError(const std::optional<PlatformError>& error) {
    if (!error)
        return QJsonValue::Null;
    return QJsonObject{{domainField, error->domain()}, {codeField, QString::number(error->code())}};
}

std::optional<PlatformError> decodeError(const QJsonValue& value) {
    const auto object = value.toObject();
    bool ok = false;
    const auto code = object.value(codeField).toString().toLongLong(&ok);
    if (!ok || !object.value(domainField).isString())
        return std::nullopt;
    return PlatformError(object.value(domainField).toString(), code);
}

VpnStatus decodeStatus(const QJsonValue& value) {
    const auto raw = value.toInt(-1);
    if (raw < int(VpnStatus::invalid) || raw > int(VpnStatus::disconnecting))
        return VpnStatus::disconnected;
    return VpnStatus(raw);
}

} // namespace

QJsonValue encodeIdentifier(const QUuid& identifier) {
    return identifier.isNull() ? QJsonValue(QJsonValue::Null) : identifier.toString(QUuid::WithoutBraces);
}

QUuid decodeIdentifier(const QJsonValue& value) {
    return QUuid::fromString(value.toString());
}

QJsonValue encodeData(const std::optional<QByteArray>& bytes) {
    return bytes ? QJsonValue(QString::fromLatin1(bytes->toBase64())) : QJsonValue(QJsonValue::Null);
}

std::optional<QByteArray> decodeData(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    auto bytes =
        QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return bytes ? std::optional(*bytes) : std::nullopt;
}

QJsonObject encodeState(const TunnelState& state) {
    return {
        {kind, status},
        {configuration, encodeIdentifier(state.configuration)},
        {status, int(state.status)},
        {lastError, encodeError(state.lastError)},
    };
}

TunnelState decodeState(const QJsonObject& message) {
    return {
        .configuration = decodeIdentifier(message.value(configuration)),
        .status = decodeStatus(message.value(status)),
        .lastError = decodeError(message.value(lastError)),
    };
}

} // namespace tessaron::tunnel_message
