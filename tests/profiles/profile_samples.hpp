#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace tessaron::testing {

inline QJsonObject objectOf(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

// Valid profile objects to start from; tests change one thing at a time.
inline QJsonObject tlsProfileObject() {
    return objectOf(R"({"version": 3, "id": "6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c", "name": "Zürich",
        "server": "zrh.example.net", "port": 443, "userID": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d",
        "security": "tls", "serverName": "zrh.example.net", "flow": "xtls-rprx-vision"})");
}

inline QJsonObject realityProfileObject() {
    return objectOf(R"({"version": 1, "id": "a7e3c1d0-5b2f-4c8e-9a6d-3f1b0e2c4d5a", "name": "Amsterdam 2",
        "server": "203.0.113.7", "port": 8443, "userID": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d",
        "security": "reality", "serverName": "www.example.com", "flow": "xtls-rprx-vision",
        "publicKey": "Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY", "shortID": "0123abcd",
        "xhttp": {"path": "/tessaron/x", "serverName": "cdn.example.org"}})");
}

inline QJsonObject with(QJsonObject object, const QString& key, const QJsonValue& value) {
    object.insert(key, value);
    return object;
}

inline QJsonObject without(QJsonObject object, const QString& key) {
    object.remove(key);
    return object;
}

inline QByteArray bytesOf(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The ids of the two sample profiles.
inline const QString tlsID = QStringLiteral("6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c");
inline const QString realityID = QStringLiteral("a7e3c1d0-5b2f-4c8e-9a6d-3f1b0e2c4d5a");

inline QJsonObject healthObject() {
    return {{"up", true}, {"checkedAt", "2024-05-01T12:00:00Z"}, {"paused", false}, {"busy", false}};
}

// A roster reply with every optional part, mixing UUID letter cases and date forms.
inline QJsonObject rosterObject() {
    QJsonObject roster = objectOf(R"({
        "health": {"6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c": {"up": true, "checkedAt": "2024-05-01T12:00:00.250Z",
                                                          "paused": false, "busy": false, "load": 0.25},
                   "A7E3C1D0-5B2F-4C8E-9A6D-3F1B0E2C4D5A": {"up": false, "checkedAt": "2024-05-01T14:00:00+02:00",
                      "paused": true, "resumesAt": "2024-06-01T00:00:00Z", "load": null, "busy": true}},
        "geo": {"6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c": {"country": "CH", "lat": 47.37, "lon": 8.54, "purpose": "exit"},
                "a7e3c1d0-5b2f-4c8e-9a6d-3f1b0e2c4d5a": {"country": "NL", "purpose": "homebound", "lat": null}},
        "usage": {"usedBytes": 5000000000, "capBytes": 8000000000, "resetsAt": "2024-06-01T00:00:00.000Z"},
        "clientGeo": {"country": "DE", "city": "Berlin", "lat": 52.52, "lon": 13.4}})");
    roster.insert("profiles", QJsonArray{tlsProfileObject(), realityProfileObject()});
    return roster;
}

} // namespace tessaron::testing
