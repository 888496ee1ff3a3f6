#include "updates/crash_report.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/installation_identity.hpp"
#include "profiles/json_values.hpp"

#include <QFile>
#include <QJsonDocument>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTimeZone>

namespace tessaron {

namespace {

namespace key {
const QString id = QStringLiteral("id");
const QString platform = QStringLiteral("platform");
const QString appVersion = QStringLiteral("appVersion");
const QString build = QStringLiteral("build");
const QString osVersion = QStringLiteral("osVersion");
const QString deviceModel = QStringLiteral("deviceModel");
const QString architecture = QStringLiteral("architecture");
const QString crashedAt = QStringLiteral("crashedAt");
const QString exceptionType = QStringLiteral("exceptionType");
const QString exceptionCode = QStringLiteral("exceptionCode");
const QString signal = QStringLiteral("signal");
const QString terminationReason = QStringLiteral("terminationReason");
const QString callStackTree = QStringLiteral("callStackTree");
const QString callStackTruncated = QStringLiteral("callStackTruncated");
const QString installationID = QStringLiteral("installationID");
const QString reporterVersion = QStringLiteral("reporterVersion");
const QString simulated = QStringLiteral("simulated");
} // namespace key

using Kind = JsonDecodingErrorKind;

[[noreturn]] void fail(Kind kind, const QString& name, const QString& description = {}) {
    throw JsonDecodingError(kind, name, description);
}

// A member that is absent or null reads as missing; one of another type fails the record.
std::optional<QJsonValue> member(const QJsonObject& object, const QString& name) {
    const auto value = object.value(name);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value;
}

QString text(const QJsonObject& object, const QString& name, const QString& fallback = {}) {
    const auto value = member(object, name);
    if (!value)
        return fallback;
    if (!value->isString())
        fail(Kind::typeMismatch, name);
    return value->toString();
}

qint64 integer(const QJsonObject& object, const QString& name, qint64 fallback) {
    const auto value = member(object, name);
    if (!value)
        return fallback;
    const auto whole = integralValue(*value);
    if (!whole)
        fail(Kind::typeMismatch, name);
    return *whole;
}

bool flag(const QJsonObject& object, const QString& name) {
    const auto value = member(object, name);
    if (!value)
        return false;
    if (!value->isBool())
        fail(Kind::typeMismatch, name);
    return value->toBool();
}

QUuid identifier(const QJsonObject& object, const QString& name) {
    if (!member(object, name))
        fail(Kind::keyNotFound, name);
    const auto uuid = uuidFromText(text(object, name));
    if (!uuid)
        fail(Kind::dataCorrupted, name, QStringLiteral("Not a UUID."));
    return *uuid;
}

QString lowerCaseText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toLower();
}

QString numberText(const std::optional<qint64>& number) {
    return number ? QString::number(*number) : QString();
}

QString orFallback(const QString& value, const QString& fallback) {
    return value.isEmpty() ? fallback : value;
}

std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decodedText = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decodedText;
}

QString utcStamp(const QDateTime& date) {
    return date.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

} // namespace

std::optional<qint64> decimalInteger(const QString& text) {
    const auto digits = text.startsWith(u'+') || text.startsWith(u'-') ? QStringView(text).mid(1) : text;
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    // QString reads the sign itself and refuses values beyond 64 bits.
    const qint64 value = QStringView(text).toLongLong(&ok, 10);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<qint64> bundleBuild(const BundleInfo& bundle) {
    const auto value = bundle.value(QStringLiteral("CFBundleVersion"));
    return decimalInteger(value.typeId() == QMetaType::QString ? value.toString() : QString());
}

CrashReportContext CrashReportContext::standard() {
    return {
        .bundle = BundleInfo::main(),
        .installationID = [] { return tessaron::installationID(); },
        .osVersion = QSysInfo::prettyProductName(),
        .hardwareModel = tessaron::hardwareModel(),
    };
}

TessaronCrashReport TessaronCrashReport::make(const CrashDiagnostic& diagnostic, const QDateTime& crashedAt,
                                              const CrashReportContext& context) {
    const auto& meta = diagnostic.metaData;
    const auto metadataBuild = decimalInteger(meta.applicationBuildVersion);
    const auto shortVersion = context.bundle.value(QStringLiteral("CFBundleShortVersionString"));
    TessaronCrashReport report;
    report.id = QUuid::createUuid();
    report.platform = QStringLiteral("macos");
    report.appVersion = shortVersion.typeId() == QMetaType::QString && !shortVersion.toString().isEmpty()
                            ? shortVersion.toString()
                            : QStringLiteral("0.0.0");
    try {
        report.installationID = context.installationID();
    } catch (...) {
        report.installationID = QUuid::createUuid();
    }
    report.osVersion = orFallback(meta.osVersion, context.osVersion);
    report.deviceModel = orFallback(meta.deviceType, context.hardwareModel);
    report.architecture = orFallback(meta.platformArchitecture, QStringLiteral("arm64"));
    report.crashedAt = utcStamp(crashedAt);
    report.exceptionType = numberText(diagnostic.exceptionType);
    report.exceptionCode = numberText(diagnostic.exceptionCode);
    report.signal = numberText(diagnostic.signal);
    report.terminationReason = diagnostic.terminationReason.value_or(QString());
    report.build =
        metadataBuild && *metadataBuild >= 1 ? *metadataBuild : bundleBuild(context.bundle).value_or(0);
    const auto tree =
        orFallback(strictUtf8(diagnostic.callStackTree).value_or(QString()), QStringLiteral("{}"));
    const auto capped = cappedCallStackTree(tree);
    report.callStackTree = capped.text;
    report.callStackTruncated = capped.truncated;
    return report;
}

QJsonObject TessaronCrashReport::toJson() const {
    QJsonObject object{
        {key::id, lowerCaseText(id)},
        {key::platform, platform},
        {key::appVersion, appVersion},
        {key::build, build},
        {key::osVersion, osVersion},
        {key::deviceModel, deviceModel},
        {key::architecture, architecture},
        {key::crashedAt, crashedAt},
        {key::exceptionType, exceptionType},
        {key::exceptionCode, exceptionCode},
        {key::signal, signal},
        {key::terminationReason, terminationReason},
        {key::callStackTree, callStackTree},
        {key::callStackTruncated, callStackTruncated},
        {key::installationID, lowerCaseText(installationID)},
        {key::reporterVersion, reporterVersion},
    };
    if (simulated)
        object.insert(key::simulated, true);
    return object;
}

QByteArray TessaronCrashReport::encoded() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

TessaronCrashReport TessaronCrashReport::fromJson(const QJsonObject& object) {
    TessaronCrashReport report;
    report.id = identifier(object, key::id);
    if (!member(object, key::platform))
        fail(Kind::keyNotFound, key::platform);
    report.platform = text(object, key::platform);
    report.appVersion = text(object, key::appVersion);
    report.build = integer(object, key::build, 0);
    report.osVersion = text(object, key::osVersion);
    report.deviceModel = text(object, key::deviceModel);
    report.architecture = text(object, key::architecture);
    report.crashedAt = text(object, key::crashedAt);
    report.exceptionType = text(object, key::exceptionType);
    report.exceptionCode = text(object, key::exceptionCode);
    report.signal = text(object, key::signal);
    report.terminationReason = text(object, key::terminationReason);
    report.callStackTree = text(object, key::callStackTree);
    report.callStackTruncated = flag(object, key::callStackTruncated);
    report.installationID = identifier(object, key::installationID);
    report.reporterVersion = integer(object, key::reporterVersion, 1);
    report.simulated = flag(object, key::simulated);
    return report;
}

TessaronCrashReport TessaronCrashReport::decoded(const QByteArray& bytes) {
    const auto document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        fail(Kind::dataCorrupted, {});
    return fromJson(document.object());
}

TessaronCrashReport::CappedTree TessaronCrashReport::cappedCallStackTree(const QString& tree) {
    const QByteArray bytes = tree.toUtf8();
    if (bytes.size() <= callStackLimit)
        return {tree, false};
    // Escaping makes the wrapped size grow with the prefix, but not in step with it: search for the
    // longest prefix whose wrapped form fits.
    QString best = QStringLiteral(R"({"truncated":true})");
    qint64 low = 0;
    qint64 high = callStackLimit;
    while (low <= high) {
        const qint64 length = low + (high - low) / 2;
        const QJsonObject candidate{{QStringLiteral("truncated"), true},
                                    {QStringLiteral("prefix"), utf8Prefix(bytes, length)}};
        const QByteArray wrapped = QJsonDocument(candidate).toJson(QJsonDocument::Compact);
        if (wrapped.size() > callStackLimit) {
            high = length - 1;
        } else {
            best = QString::fromUtf8(wrapped);
            low = length + 1;
        }
    }
    return {best, true};
}

QString utf8Prefix(const QByteArray& bytes, qint64 maxBytes) {
    const qint64 limit = std::max<qint64>(maxBytes, 0);
    qint64 cut = std::min<qint64>(limit, bytes.size());
    if (cut < bytes.size()) {
        // Step back over continuation bytes: the sequence they belong to would end past the limit.
        while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
    }
    return strictUtf8(bytes.first(cut)).value_or(QString());
}

QString hardwareModel(const QString& source) {
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("mac");
    QByteArray bytes = file.read(256);
    bytes.truncate(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
    const QString model = QString::fromUtf8(bytes).trimmed();
    return model.isEmpty() ? QStringLiteral("mac") : model;
}

} // namespace tessaron
