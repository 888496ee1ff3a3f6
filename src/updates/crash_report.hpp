#pragma once

#include "platform/bundle_info.hpp"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaron {

// What the crash source knows of one crash. Texts may be empty; numbers are absent when unknown.
struct CrashDiagnostic {
    struct Metadata {
        QString applicationBuildVersion;
        QString osVersion;
        QString deviceType;
        QString platformArchitecture;
    };

    Metadata metaData;
    // A JSON document describing the crashed call stacks, carried as bytes and never interpreted.
    QByteArray callStackTree;
    std::optional<qint64> exceptionType;
    std::optional<qint64> exceptionCode;
    std::optional<qint64> signal;
    std::optional<QString> terminationReason;
};

// Where a report's values come from when the diagnostic lacks them.
struct CrashReportContext {
    BundleInfo bundle;
    // The installation identifier; may throw, and a fresh identifier then stands in for it.
    std::function<QUuid()> installationID;
    QString osVersion;
    QString hardwareModel;

    // The application's Info file and Keychain item, the running system and this machine. Reads files:
    // called where the reports are made, on the crash reporter's worker, never by the caller of start().
    static CrashReportContext standard();
};

// One crash of the application, in the one JSON form that is both the stored file and the upload body.
struct TessaronCrashReport {
    static constexpr qint64 callStackLimit = 200'000;

    QUuid id;
    QString platform;
    QString appVersion;
    qint64 build = 0;
    QString osVersion;
    QString deviceModel;
    QString architecture;
    QString crashedAt;
    QString exceptionType;
    QString exceptionCode;
    QString signal;
    QString terminationReason;
    QString callStackTree;
    bool callStackTruncated = false;
    QUuid installationID;
    qint64 reporterVersion = 1;
    bool simulated = false;

    bool operator==(const TessaronCrashReport&) const = default;

    static TessaronCrashReport make(const CrashDiagnostic& diagnostic, const QDateTime& crashedAt,
                                    const CrashReportContext& context);

    QJsonObject toJson() const;
    // Compact JSON bytes.
    QByteArray encoded() const;
    // Throws JsonDecodingError: a missing or malformed id, platform or installationID, or a member of
    // the wrong type. Null reads as missing; unknown members are ignored.
    static TessaronCrashReport fromJson(const QJsonObject& object);
    static TessaronCrashReport decoded(const QByteArray& bytes);

    struct CappedTree {
        QString text;
        bool truncated = false;
    };
    // The tree text when it fits the limit; otherwise the largest head of it that still fits once wrapped
    // in {"truncated":true,"prefix":…}.
    static CappedTree cappedCallStackTree(const QString& tree);
};

// The longest head of `bytes` within `maxBytes` (0 when negative) that ends on a character boundary;
// "" when that head is not UTF-8.
QString utf8Prefix(const QByteArray& bytes, qint64 maxBytes);

// The machine's product name as its firmware reports it, or "mac" when it cannot be read.
QString hardwareModel(const QString& source = QStringLiteral("/sys/class/dmi/id/product_name"));

// The installed build number, "CFBundleVersion" read as a decimal integer; none when it does not read.
std::optional<qint64> bundleBuild(const BundleInfo& bundle);
// A decimal integer with an optional sign and nothing else, within 64 bits.
std::optional<qint64> decimalInteger(const QString& text);

} // namespace tessaron
