#include "service_reply.hpp"

#include "profiles/json_values.hpp"

#include <QJsonDocument>

namespace tessaron::local_service {

ServiceReply ServiceReply::refusal(int status, const QString& code, QJsonObject extras) {
    extras.insert(QStringLiteral("error"), code);
    return {status, std::move(extras)};
}

void send(httplib::Response& response, const ServiceReply& reply) {
    response.status = reply.status;
    if (reply.body)
        response.set_content(QJsonDocument(*reply.body).toJson(QJsonDocument::Compact).toStdString(),
                             "application/json");
}

std::optional<QJsonObject> requestObject(const httplib::Request& request) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<QString> textField(const QJsonObject& body, const QString& key) {
    const QJsonValue value = body.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QUuid> uuidField(const QJsonObject& body, const QString& key) {
    const auto text = textField(body, key);
    return text ? uuidFromText(*text) : std::nullopt;
}

} // namespace tessaron::local_service
