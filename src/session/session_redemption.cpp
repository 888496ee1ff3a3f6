#include "session/tessaron_session.hpp"

#include "profiles/access_input.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/importer.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/pairing_error.hpp"
#include "session/scoped_flag.hpp"

#include <chrono>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

// A redemption may be repeated within this long of its start, and no later.
constexpr double redemptionWindowSeconds = 60;
// The failed commit at which a redeemed profile is given up.
constexpr int commitAttemptLimit = 10;

TessaronPairingError pairingError(TessaronPairingErrorKind kind) {
    return TessaronPairingError(kind);
}

// The failures after which the same redemption may be asked for once more.
bool isRepeatable(TessaronPairingErrorKind kind) {
    using Kind = TessaronPairingErrorKind;
    return kind == Kind::invalidResponse || kind == Kind::serviceUnavailable ||
           kind == Kind::unexpectedStatus || kind == Kind::transportFailure || kind == Kind::timedOut;
}

TessaronProfile decodeValidated(const QByteArray& json) {
    return TessaronImporter::decodeInvitationJSON(json, false, false);
}

// A stored profile that no longer decodes counts as a failed commit, not as an error of its own.
std::optional<TessaronProfile> decodedOrNone(const std::optional<QByteArray>& json) {
    if (!json)
        return std::nullopt;
    try {
        return decodeValidated(*json);
    } catch (const TessaronError&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<double> TessaronSession::secondsSince(const QDateTime& start) const {
    if (!start.isValid())
        return std::nullopt;
    return start.msecsTo(services_.clock.now()) / 1000.0;
}

void TessaronSession::requireConsent() const {
    if (!storedConsentGranted(services_.preferences))
        throw pairingError(TessaronPairingErrorKind::invalidConsent);
}

std::optional<TessaronKeychainError> TessaronSession::deletePendingRecord() {
    try {
        services_.pendingRedemptions.remove();
        return std::nullopt;
    } catch (const TessaronKeychainError& error) {
        return error;
    }
}

void TessaronSession::giveUpPendingRedemption() {
    if (const auto failure = deletePendingRecord())
        reportFailure(*failure);
    else
        reportFailure(pairingError(TessaronPairingErrorKind::redeemedUnrecoverable));
}

QCoro::Task<TessaronRedeemResult> TessaronSession::redeemInvitation(QString code,
                                                                    TessaronPairingClient client) {
    requireConsent();
    const auto decision = TessaronPendingRedemptionStore::start(services_.pendingRedemptions.load(), code);
    switch (decision.kind()) {
    case TessaronRedemptionStart::Kind::recoverRedeemed: {
        // The service already handed the profile out: finish with it instead of spending the code again.
        const auto& record = *decision.record();
        const auto profile = decodedOrNone(record.redeemedProfileJSON);
        if (!profile)
            throw pairingError(recordCommitFailure(record));
        co_return TessaronRedeemResult{*profile, std::nullopt};
    }
    case TessaronRedemptionStart::Kind::retrySameCode: {
        const auto& record = *decision.record();
        const auto elapsed = secondsSince(record.startedAt);
        if (elapsed && *elapsed > redemptionWindowSeconds) {
            deletePendingRecord();
            throw pairingError(TessaronPairingErrorKind::timedOut);
        }
        if (record.retryUsed || !elapsed || *elapsed < 0)
            throw pairingError(TessaronPairingErrorKind::timedOut);
        co_return co_await redeemPending(record, std::move(client), true);
    }
    case TessaronRedemptionStart::Kind::redeemedUnrecoverable:
        giveUpPendingRedemption();
        break;
    case TessaronRedemptionStart::Kind::fresh:
        break;
    }
    TessaronPendingRedemption record;
    record.code = code;
    record.redemptionID = QUuid::createUuid();
    record.installationID = services_.installationID();
    record.startedAt = services_.clock.now();
    services_.pendingRedemptions.save(record);
    co_return co_await redeemPending(record, std::move(client), false);
}

QCoro::Task<TessaronRedeemResult> TessaronSession::askService(TessaronPendingRedemption record,
                                                              TessaronPairingClient client) {
    requireConsent();
    co_return co_await client.redeem(record.code, record.redemptionID, record.installationID,
                                     TessaronIdentifiers::consentVersion);
}

QCoro::Task<TessaronRedeemResult> TessaronSession::redeemPending(TessaronPendingRedemption record,
                                                                 TessaronPairingClient client, bool isRetry) {
    QPointer self(this);
    if (isRetry) {
        if (record.retryUsed)
            throw pairingError(TessaronPairingErrorKind::timedOut);
        requireConsent();
        record.retryUsed = true;
        services_.pendingRedemptions.save(record);
    } else if (!storedConsentGranted(services_.preferences)) {
        deletePendingRecord();
        throw pairingError(TessaronPairingErrorKind::invalidConsent);
    }

    std::exception_ptr failure;
    try {
        co_return co_await askService(record, client);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failure);
    if (isRetry) {
        deletePendingRecord();
        std::rethrow_exception(failure);
    }

    std::optional<TessaronPairingErrorKind> kind;
    try {
        std::rethrow_exception(failure);
    } catch (const TessaronPairingError& error) {
        kind = error.kind();
    } catch (...) {
    }
    const auto elapsed = secondsSince(record.startedAt);
    const bool windowOver = elapsed && *elapsed > redemptionWindowSeconds;
    if (!kind) {
        if (windowOver)
            deletePendingRecord();
        std::rethrow_exception(failure);
    }

    if (elapsed && *elapsed >= 0 && !windowOver && isRepeatable(*kind)) {
        // The same redemption id makes the repeat the same redemption for the service.
        requireConsent();
        record.retryUsed = true;
        services_.pendingRedemptions.save(record);
        std::exception_ptr repeatFailure;
        try {
            co_return co_await askService(record, client);
        } catch (...) {
            repeatFailure = std::current_exception();
        }
        if (self)
            deletePendingRecord();
        std::rethrow_exception(repeatFailure);
    }
    const bool keep = !windowOver && (isRepeatable(*kind) || *kind == TessaronPairingErrorKind::cancelled);
    if (!keep)
        deletePendingRecord();
    std::rethrow_exception(failure);
}

std::optional<TessaronPendingRedemption>
TessaronSession::markPendingRedeemed(const TessaronProfile& profile) {
    std::optional<TessaronPendingRedemption> loaded;
    try {
        loaded = services_.pendingRedemptions.load();
    } catch (const TessaronError&) {
        return std::nullopt;
    }
    if (!loaded)
        return std::nullopt;
    auto record = *loaded;
    record.redeemed = true;
    record.redeemedProfileJSON = profile.canonicalJSON();
    try {
        try {
            services_.pendingRedemptions.save(record);
        } catch (const TessaronKeychainError& error) {
            if (error.kind() != TessaronKeychainErrorKind::unexpectedResult)
                throw;
            // Too large to keep with its profile: keep the mark at least.
            record.redeemedProfileJSON.reset();
            services_.pendingRedemptions.save(record);
        }
    } catch (const TessaronError&) {
        return std::nullopt;
    }
    return record;
}

TessaronPairingErrorKind TessaronSession::recordCommitFailure(TessaronPendingRedemption record) {
    ++record.commitAttempts;
    if (record.commitAttempts < commitAttemptLimit) {
        try {
            services_.pendingRedemptions.save(record);
        } catch (const TessaronError&) {
            // The count is lost, not the record: the next attempt counts from the stored one.
        }
        return TessaronPairingErrorKind::redeemedNotCommitted;
    }
    giveUpPendingRedemption();
    return TessaronPairingErrorKind::redeemedUnrecoverable;
}

QCoro::Task<> TessaronSession::commitRedeemedProfile(TessaronProfile profile) {
    QPointer self(this);
    const auto validated = decodeValidated(profile.canonicalJSON());
    const auto marked = markPendingRedeemed(validated);
    // A selection never moves while a link is up or starting: the profile is stored, and the user told.
    const bool selectsNew = phase_ == TessaronLinkPhase::disconnected && !connectInFlight_;
    std::optional<TessaronPairingErrorKind> storeFailure;
    try {
        if (selectsNew) {
            storeAndSelect(validated);
        } else {
            store(validated);
            rereadListing();
            log_.info(QStringLiteral("invitation stored"));
        }
    } catch (const TessaronError&) {
        if (marked) {
            storeFailure = recordCommitFailure(*marked);
        } else {
            giveUpPendingRedemption();
            storeFailure = TessaronPairingErrorKind::redeemedUnrecoverable;
        }
    }
    if (storeFailure)
        throw pairingError(*storeFailure);

    co_await pullRoster(validated.id);
    if (!self)
        co_return;
    if (const auto failure = deletePendingRecord()) {
        if (marked)
            throw *failure;
        log_.error(QStringLiteral("pending removal failed %1 %2")
                       .arg(failure->domain(), QString::number(failure->code())));
    }
    if (selectsNew) {
        if (phase_ == TessaronLinkPhase::disconnected)
            co_await startSelectedConnection();
        co_return;
    }
    if (selectedID_ != validated.id)
        throw TessaronSessionFailure(TessaronSessionFailureKind::profileChangeWhileActive);
}

QCoro::Task<> TessaronSession::recoverRedeemedInvitation(TessaronPendingRedemption record) {
    QPointer self(this);
    ScopedFlag handling(this, linkInFlight_);
    if (phase_ != TessaronLinkPhase::disconnected || isActing_)
        co_return;
    if (!record.redeemedProfileJSON) {
        giveUpPendingRedemption();
        co_return;
    }
    const auto profile = decodedOrNone(record.redeemedProfileJSON);
    if (!profile) {
        reportFailure(pairingError(recordCommitFailure(record)));
        co_return;
    }
    bool committed = false;
    try {
        co_await commitRedeemedProfile(*profile);
        committed = true;
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
    }
    if (self && committed && services_.signIn.isSignedIn())
        co_await services_.signIn.linkProfileIfSignedIn(this);
}

QCoro::Task<> TessaronSession::recoverPendingInvitation() {
    QPointer self(this);
    if (invitationRecoveryInFlight_ || linkInFlight_ || connectInFlight_)
        co_return;
    ScopedFlag recovering(this, invitationRecoveryInFlight_);
    std::optional<TessaronPendingRedemption> record;
    try {
        record = services_.pendingRedemptions.load();
    } catch (const TessaronError& error) {
        reportFailure(error);
        co_return;
    }
    if (!record)
        co_return;
    if (record->redeemed)
        co_await recoverRedeemedInvitation(*record);
    else
        co_await recoverUnredeemed(*record);
}

QCoro::Task<> TessaronSession::recoverUnredeemed(TessaronPendingRedemption record) {
    // A record whose one repeat is spent can never finish: say so once.
    if (record.retryUsed) {
        deletePendingRecord();
        reportFailure(pairingError(TessaronPairingErrorKind::timedOut));
        co_return;
    }
    if (phase_ != TessaronLinkPhase::disconnected || isActing_)
        co_return;
    // Whatever its age, only the service knows whether the redemption went through: the record waits
    // for the consent its repeat needs.
    if (!consentGranted_) {
        reportFailure(pairingError(TessaronPairingErrorKind::invalidConsent));
        co_return;
    }
    ScopedFlag handling(this, linkInFlight_);
    const auto redeem = [this, record] {
        return redeemPending(record, services_.pairingClient(), true);
    };
    co_await commitAndLink(redeem);
}

QCoro::Task<> TessaronSession::openInvitationLink(QUrl url) {
    if (linkInFlight_)
        co_return;
    if (isActing_ || connectInFlight_) {
        refuseBusy();
        co_return;
    }
    if (const auto code = invitationCode(url))
        co_await handleInvitationCode(*code);
    else
        co_await connectChosenConnection();
}

QCoro::Task<> TessaronSession::handleInvitationCode(QString code) {
    // The code waits for what the redemption needs first: an account, then the privacy consent.
    if (!services_.signIn.isSignedIn()) {
        deferredInvitationCode_ = code;
        setActiveSheet(TessaronSheet::signIn);
        co_return;
    }
    if (!consentGranted_) {
        deferredInvitationCode_ = code;
        pendingConnect_ = false;
        setActiveSheet(TessaronSheet::privacy);
        co_return;
    }
    co_await redeemAndCommit(code);
}

QCoro::Task<> TessaronSession::redeemAndCommit(QString code) {
    if (linkInFlight_)
        co_return;
    ScopedFlag handling(this, linkInFlight_);
    setLastError(std::nullopt);
    const auto redeem = [this, code] {
        return redeemInvitation(code, services_.pairingClient());
    };
    co_await commitAndLink(redeem);
}

QCoro::Task<> TessaronSession::commitAndLink(std::function<QCoro::Task<TessaronRedeemResult>()> redeem) {
    QPointer self(this);
    try {
        const auto result = co_await redeem();
        if (!self)
            co_return;
        co_await commitRedeemedProfile(result.profile);
        if (!self)
            co_return;
        co_await services_.signIn.linkProfileIfSignedIn(this);
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
    }
}

QCoro::Task<> TessaronSession::redeemDeferredInvitation() {
    if (!deferredInvitationCode_ || !storedConsentGranted(services_.preferences) || linkInFlight_ ||
        connectInFlight_)
        co_return;
    const auto code = *std::exchange(deferredInvitationCode_, std::nullopt);
    co_await handleInvitationCode(code);
}

QCoro::Task<> TessaronSession::installAccountProfile(TessaronProfile profile) {
    QPointer self(this);
    const auto validated = decodeValidated(profile.canonicalJSON());
    if (phase_ != TessaronLinkPhase::disconnected || connectInFlight_) {
        store(validated);
        rereadListing();
        if (selectedID_ != validated.id)
            throw TessaronSessionFailure(TessaronSessionFailureKind::profileChangeWhileActive);
        co_return;
    }
    storeAndSelect(validated);
    co_await pullRoster(validated.id);
}

} // namespace tessaron
