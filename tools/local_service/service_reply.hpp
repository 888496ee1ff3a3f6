#pragma once

#include <httplib.h>

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaron::local_service {

// What an endpoint answers, apart from how it travels.
struct ServiceReply {
    int status = 200;
    // None for an empty reply.
    std::optional<QJsonObject> body;

    static ServiceReply ok(QJsonObject body) { return {200, std::move(body)}; }
    static ServiceReply noContent() { return {204, std::nullopt}; }
    // {"error": code} merged with `extras`.
    static ServiceReply refusal(int status, const QString& code, QJsonObject extras = {});
};

void send(httplib::Response& response, const ServiceReply& reply);

// The request body when it is a JSON object.
std::optional<QJsonObject> requestObject(const httplib::Request& request);
// A field that is present and text.
std::optional<QString> textField(const QJsonObject& body, const QString& key);
// A field that is UUID text, in any letter case.
std::optional<QUuid> uuidField(const QJsonObject& body, const QString& key);

} // namespace tessaron::local_service
