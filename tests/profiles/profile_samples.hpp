#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace tessaron::testing {

// Valid profile objects to start from; tests change one thing at a time.
inline QJsonObject tlsProfileObject() {
    return QJsonObject{
        {"version", 3},
        {"id", "6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c"},
        {"name", "Zürich"},
        {"server", "zrh.example.net"},
        {"port", 443},
        {"userID", "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"},
        {"security", "tls"},
        {"serverName", "zrh.example.net"},
        {"flow", "xtls-rprx-vision"},
    };
}

inline QJsonObject realityProfileObject() {
    return QJsonObject{
        {"version", 1},
        {"id", "a7e3c1d0-5b2f-4c8e-9a6d-3f1b0e2c4d5a"},
        {"name", "Amsterdam 2"},
        {"server", "203.0.113.7"},
        {"port", 8443},
        {"userID", "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"},
        {"security", "reality"},
        {"serverName", "www.example.com"},
        {"publicKey", "Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY"},
        {"shortID", "0123abcd"},
        {"flow", "xtls-rprx-vision"},
        {"xhttp", QJsonObject{{"path", "/tessaron/x"}, {"serverName", "cdn.example.org"}}},
    };
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
    return {
        {"profiles", QJsonArray{tlsProfileObject(), realityProfileObject()}},
        {"health",
         QJsonObject{
             {tlsID, with(with(healthObject(), "load", 0.25), "checkedAt", "2024-05-01T12:00:00.250Z")},
             {realityID.toUpper(), QJsonObject{{"up", false},
                                               {"checkedAt", "2024-05-01T14:00:00+02:00"},
                                               {"paused", true},
                                               {"resumesAt", "2024-06-01T00:00:00Z"},
                                               {"load", QJsonValue::Null},
                                               {"busy", true}}},
         }},
        {"geo",
         QJsonObject{
             {tlsID, QJsonObject{{"country", "CH"}, {"lat", 47.37}, {"lon", 8.54}, {"purpose", "exit"}}},
             {realityID, QJsonObject{{"country", "NL"}, {"purpose", "homebound"}, {"lat", QJsonValue::Null}}},
         }},
        {"usage", QJsonObject{{"usedBytes", qint64(5'000'000'000)},
                              {"capBytes", qint64(8'000'000'000)},
                              {"resetsAt", "2024-06-01T00:00:00.000Z"}}},
        {"clientGeo", QJsonObject{{"country", "DE"}, {"city", "Berlin"}, {"lat", 52.52}, {"lon", 13.4}}},
    };
}

} // namespace tessaron::testing
