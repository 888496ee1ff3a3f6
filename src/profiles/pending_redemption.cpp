#include "profiles/pending_redemption.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/json_values.hpp"
#include "profiles/keychain_access.hpp"
#include "profiles/keychain_error.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace tessaron {

namespace {

namespace key {
const QString code = QStringLiteral("code");
const QString redemptionID = QStringLiteral("redemptionID");
const QString installationID = QStringLiteral("installationID");
const QString startedAt = QStringLiteral("startedAt");
const QString retryUsed = QStringLiteral("retryUsed");
const QString redeemedProfileJSON = QStringLiteral("redeemedProfileJSON");
const QString redeemed = QStringLiteral("redeemed");
const QString commitAttempts = QStringLiteral("commitAttempts");
} // namespace key

std::optional<QUuid> uuidFrom(const QJsonValue& value) {
    return value.isString() ? uuidFromText(value.toString()) : std::nullopt;
}

QDateTime dateFromSeconds(double seconds) {
    // Far beyond any real date, and small enough that milliseconds stay within 64 bits.
    constexpr double limit = 1e15;
    if (!(std::abs(seconds) < limit))
        return {};
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000), Qt::UTC);
}

std::optional<QDateTime> dateFrom(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const auto date = dateFromSeconds(value.toDouble());
    return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<bool> boolFrom(const QJsonValue& value) {
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

std::optional<int> countFrom(const QJsonValue& value) {
    const auto count = integralValue(value);
    if (!count || *count < 0 || *count > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*count);
}

// Absent and null both mean no profile; the outer optional is empty when the value is not base64 text.
std::optional<std::optional<QByteArray>> profileJSONFrom(const QJsonValue& value) {
    if (value.isUndefined() || value.isNull())
        return std::optional<QByteArray>();
    if (!value.isString())
        return std::nullopt;
    auto decoded =
        QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::optional(std::move(*decoded));
}

} // namespace

QByteArray TessaronPendingRedemption::toJSON() const {
    QJsonObject object{
        {key::code, code},
        {key::redemptionID, uuidText(redemptionID)},
        {key::installationID, uuidText(installationID)},
        {key::startedAt, double(startedAt.toMSecsSinceEpoch()) / 1000},
        {key::retryUsed, retryUsed},
        {key::redeemed, redeemed},
        {key::commitAttempts, commitAttempts},
    };
    if (redeemedProfileJSON)
        object.insert(key::redeemedProfileJSON, QString::fromLatin1(redeemedProfileJSON->toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TessaronPendingRedemption> TessaronPendingRedemption::fromJSON(const QByteArray& json) {
    const auto document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const auto object = document.object();
    const auto code = object.value(key::code);
    const auto redemptionID = uuidFrom(object.value(key::redemptionID));
    const auto installationID = uuidFrom(object.value(key::installationID));
    const auto startedAt = dateFrom(object.value(key::startedAt));
    const auto retryUsed = boolFrom(object.value(key::retryUsed));
    const auto profileJSON = profileJSONFrom(object.value(key::redeemedProfileJSON));
    const auto redeemed = boolFrom(object.value(key::redeemed));
    const auto commitAttempts = countFrom(object.value(key::commitAttempts));
    if (!code.isString() || !redemptionID || !installationID || !startedAt || !retryUsed || !profileJSON ||
        !redeemed || !commitAttempts)
        return std::nullopt;
    return TessaronPendingRedemption{
        .code = code.toString(),
        .redemptionID = *redemptionID,
        .installationID = *installationID,
        .startedAt = *startedAt,
        .retryUsed = *retryUsed,
        .redeemedProfileJSON = *profileJSON,
        .redeemed = *redeemed,
        .commitAttempts = *commitAttempts,
    };
}

TessaronRedemptionStart::TessaronRedemptionStart(Kind kind, std::optional<TessaronPendingRedemption> record)
    : kind_(kind)
    , record_(std::move(record)) {}

TessaronRedemptionStart TessaronRedemptionStart::retrySameCode(TessaronPendingRedemption record) {
    return {Kind::retrySameCode, std::move(record)};
}

TessaronRedemptionStart TessaronRedemptionStart::recoverRedeemed(TessaronPendingRedemption record) {
    return {Kind::recoverRedeemed, std::move(record)};
}

TessaronRedemptionStart TessaronRedemptionStart::fresh() {
    return {Kind::fresh, std::nullopt};
}

TessaronRedemptionStart TessaronRedemptionStart::redeemedUnrecoverable() {
    return {Kind::redeemedUnrecoverable, std::nullopt};
}

TessaronPendingRedemptionStore::TessaronPendingRedemptionStore(Keychain& keychain, BundleInfo info)
    : keychain_(&keychain)
    , info_(std::move(info)) {}

KeychainQuery TessaronPendingRedemptionStore::baseQuery() const {
    return sharedItemQuery(info_, TessaronIdentifiers::pendingRedemptionKeychainService,
                           TessaronIdentifiers::pendingRedemptionKeychainAccount);
}

std::optional<TessaronPendingRedemption> TessaronPendingRedemptionStore::load() const {
    const auto [status, data] = keychain_->copyData(baseQuery());
    if (status == keychain_status::itemNotFound)
        return std::nullopt;
    if (status != keychain_status::success)
        throw TessaronKeychainError::status(status);
    auto record = TessaronPendingRedemption::fromJSON(data);
    if (!record)
        throw TessaronKeychainError::unexpectedResult();
    return record;
}

void TessaronPendingRedemptionStore::save(const TessaronPendingRedemption& record) const {
    const auto json = record.toJSON();
    if (json.size() > maxRecordBytes)
        throw TessaronKeychainError::unexpectedResult();
    const auto query = baseQuery();
    auto status = keychain_->update(query, json);
    if (status == keychain_status::itemNotFound)
        status = keychain_->add(query, json);
    if (status != keychain_status::success)
        throw TessaronKeychainError::status(status);
}

void TessaronPendingRedemptionStore::remove() const {
    removeItem(*keychain_, baseQuery());
}

TessaronRedemptionStart
TessaronPendingRedemptionStore::start(const std::optional<TessaronPendingRedemption>& loaded,
                                      const QString& code) {
    if (!loaded)
        return TessaronRedemptionStart::fresh();
    if (loaded->redeemed) {
        return loaded->redeemedProfileJSON ? TessaronRedemptionStart::recoverRedeemed(*loaded)
                                           : TessaronRedemptionStart::redeemedUnrecoverable();
    }
    if (loaded->code == code)
        return TessaronRedemptionStart::retrySameCode(*loaded);
    return TessaronRedemptionStart::fresh();
}

} // namespace tessaron
