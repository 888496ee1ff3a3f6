#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaron {

// The one invitation redemption that has not finished yet. It outlives the process so that a redeemed
// profile is never lost and a code is never spent twice.
struct TessaronPendingRedemption {
    QString code;
    QUuid redemptionID;
    QUuid installationID;
    QDateTime startedAt;
    bool retryUsed = false;
    // The canonical JSON of the profile the service handed out, once it has.
    std::optional<QByteArray> redeemedProfileJSON;
    bool redeemed = false;
    int commitAttempts = 0;

    // Compact JSON: UUIDs in upper case, `startedAt` as seconds since 1970, the profile JSON as base64 and
    // left out when absent.
    QByteArray toJSON() const;
    // None when the bytes are not such a record.
    static std::optional<TessaronPendingRedemption> fromJSON(const QByteArray& json);

    bool operator==(const TessaronPendingRedemption&) const = default;
};

// What to do with a code, given the record left from an earlier redemption.
class TessaronRedemptionStart {
public:
    enum class Kind { retrySameCode, recoverRedeemed, fresh, redeemedUnrecoverable };

    static TessaronRedemptionStart retrySameCode(TessaronPendingRedemption record);
    static TessaronRedemptionStart recoverRedeemed(TessaronPendingRedemption record);
    static TessaronRedemptionStart fresh();
    static TessaronRedemptionStart redeemedUnrecoverable();

    Kind kind() const { return kind_; }
    // The record to go on with, for retrySameCode and recoverRedeemed.
    const std::optional<TessaronPendingRedemption>& record() const { return record_; }

    bool operator==(const TessaronRedemptionStart&) const = default;

private:
    TessaronRedemptionStart(Kind kind, std::optional<TessaronPendingRedemption> record);

    Kind kind_;
    std::optional<TessaronPendingRedemption> record_;
};

// The Keychain item of the pending redemption. Holds no state of its own beyond its collaborators.
class TessaronPendingRedemptionStore {
public:
    // The largest record JSON the item takes.
    static constexpr qsizetype maxRecordBytes = 4096;

    explicit TessaronPendingRedemptionStore(Keychain& keychain = systemKeychain(),
                                            BundleInfo info = BundleInfo::main());

    // Throws TessaronKeychainError missingAccessGroup.
    KeychainQuery baseQuery() const;

    // None when no redemption is pending. Throws TessaronKeychainError: `status` for a Keychain failure,
    // `unexpectedResult` for an item that is not a record.
    std::optional<TessaronPendingRedemption> load() const;

    // Writes the record over the pending one. A record whose JSON exceeds maxRecordBytes is refused with
    // TessaronKeychainError unexpectedResult; Keychain failures throw `status`.
    void save(const TessaronPendingRedemption& record) const;

    // Deletes the pending record; none pending counts as deleted. Throws TessaronKeychainError.
    void remove() const;

    static TessaronRedemptionStart start(const std::optional<TessaronPendingRedemption>& loaded,
                                         const QString& code);

private:
    Keychain* keychain_;
    BundleInfo info_;
};

} // namespace tessaron
