#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace tessaron {

// The records below are what the pairing service reports about nodes and the client. Each decodes with
// fromJSON (throwing JsonDecodingError) and encodes with toJSON; the keys are the field names.

// A node's health as the service last checked it.
struct TessaronNodeHealth {
    bool up = false;
    QDateTime checkedAt;
    // The node's monthly traffic budget is used up.
    bool paused = false;
    std::optional<QDateTime> resumesAt;
    // From 0 to 1; anything outside fails the record.
    std::optional<double> load;
    bool busy = false;

    static TessaronNodeHealth fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronNodeHealth&, const TessaronNodeHealth&) = default;
};

// Where a node stands and what it is for.
struct TessaronNodeGeo {
    enum class Purpose { exit, homebound };

    // Two-letter region code, kept as reported.
    QString country;
    std::optional<double> lat;
    std::optional<double> lon;
    Purpose purpose = Purpose::exit;

    static TessaronNodeGeo fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronNodeGeo&, const TessaronNodeGeo&) = default;
};

// Where the service sees this device.
struct TessaronClientGeo {
    QString country;
    std::optional<QString> city;
    std::optional<double> lat;
    std::optional<double> lon;

    static TessaronClientGeo fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronClientGeo&, const TessaronClientGeo&) = default;
};

} // namespace tessaron
