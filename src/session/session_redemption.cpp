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

// The pending record marked redeemed with its profile, or with the mark alone when the profile makes it too
// large to keep; none when there is no record or it cannot be written. Runs on the keychain's thread.
std::optional<TessaronPendingRedemption> markedRedeemed(const TessaronPendingRedemptionStore& store,
                                                        const QByteArray& profileJSON) {
    try {
        const auto loaded = store.load();
        if (!loaded)
            return std::nullopt;
        auto record = *loaded;
        record.redeemed = true;
        record.redeemedProfileJSON = profileJSON;
        try {
            store.save(record);
        } catch (const TessaronKeychainError& error) {
            if (error.kind() != TessaronKeychainErrorKind::unexpectedResult)
                throw;
            // Too large to keep with its profile: keep the mark at least.
            record.redeemedProfileJSON.reset();
            store.save(record);
        }
        return record;
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

QCoro::Task<std::optional<TessaronKeychainError>> TessaronSession::deletePendingRecord() {
    auto remove = [store = services_.pendingRedemptions]() -> std::optional<TessaronKeychainError> {
        try {
            store.remove();
            return std::nullopt;
        } catch (const TessaronKeychainError& error) {
            return error;
        }
    };
    return services_.keychain.run(std::move(remove));
}

QCoro::Task<> TessaronSession::giveUpPendingRedemption() {
    QPointer self(this);
    const auto failure = co_await deletePendingRecord();
    if (!self)
        co_return;
    if (failure)
        reportFailure(*failure);
    else
        reportFailure(pairingError(TessaronPairingErrorKind::redeemedUnrecoverable));
}

QCoro::Task<> TessaronSession::savePendingRecord(TessaronPendingRedemption record) {
    auto save = [store = services_.pendingRedemptions, record] {
        store.save(record);
    };
    return services_.keychain.run(std::move(save));
}

QCoro::Task<TessaronRedeemResult> TessaronSession::redeemInvitation(QString code,
                                                                    TessaronPairingClient client) {
    QPointer self(this);
    requireConsent();
    auto load = [store = services_.pendingRedemptions] {
        return store.load();
    };
    const auto loaded = co_await services_.keychain.run(std::move(load));
    if (!self)
        throw CancellationError();
    const auto decision = TessaronPendingRedemptionStore::start(loaded, code);
    switch (decision.kind()) {
    case TessaronRedemptionStart::Kind::recoverRedeemed: {
        // The service already handed the profile out: finish with it instead of spending the code again.
        const auto& record = *decision.record();
        const auto profile = decodedOrNone(record.redeemedProfileJSON);
        if (!profile) {
            const auto failure = co_await recordCommitFailure(record);
            throw pairingError(failure);
        }
        co_return TessaronRedeemResult{*profile, std::nullopt};
    }
    case TessaronRedemptionStart::Kind::retrySameCode: {
        const auto& record = *decision.record();
        const auto elapsed = secondsSince(record.startedAt);
        if (elapsed && *elapsed > redemptionWindowSeconds) {
            co_await deletePendingRecord();
            throw pairingError(TessaronPairingErrorKind::timedOut);
        }
        if (record.retryUsed || !elapsed || *elapsed < 0)
            throw pairingError(TessaronPairingErrorKind::timedOut);
        co_return co_await redeemPending(record, std::move(client), true);
    }
    case TessaronRedemptionStart::Kind::redeemedUnrecoverable:
        co_await giveUpPendingRedemption();
        if (!self)
            throw CancellationError();
        break;
    case TessaronRedemptionStart::Kind::fresh:
        break;
    }
    TessaronPendingRedemption record;
    record.code = code;
    record.redemptionID = QUuid::createUuid();
    record.installationID = co_await services_.keychain.run(services_.installationID);
    if (!self)
        throw CancellationError();
    record.startedAt = services_.clock.now();
    co_await savePendingRecord(record);
    if (!self)
        throw CancellationError();
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
        co_await savePendingRecord(record);
    } else if (!storedConsentGranted(services_.preferences)) {
        co_await deletePendingRecord();
        throw pairingError(TessaronPairingErrorKind::invalidConsent);
    }
    if (!self)
        throw CancellationError();

    std::exception_ptr failure;
    try {
        co_return co_await askService(record, client);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failure);
    if (isRetry) {
        co_await deletePendingRecord();
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
            co_await deletePendingRecord();
        std::rethrow_exception(failure);
    }

    if (elapsed && *elapsed >= 0 && !windowOver && isRepeatable(*kind)) {
        // The same redemption id makes the repeat the same redemption for the service.
        requireConsent();
        record.retryUsed = true;
        co_await savePendingRecord(record);
        std::exception_ptr repeatFailure;
        try {
            co_return co_await askService(record, client);
        } catch (...) {
            repeatFailure = std::current_exception();
        }
        if (self)
            co_await deletePendingRecord();
        std::rethrow_exception(repeatFailure);
    }
    const bool keep = !windowOver && (isRepeatable(*kind) || *kind == TessaronPairingErrorKind::cancelled);
    if (!keep)
        co_await deletePendingRecord();
    std::rethrow_exception(failure);
}

QCoro::Task<std::optional<TessaronPendingRedemption>>
TessaronSession::markPendingRedeemed(const TessaronProfile& profile) {
    auto mark = [store = services_.pendingRedemptions, json = profile.canonicalJSON()] {
        return markedRedeemed(store, json);
    };
    return services_.keychain.run(std::move(mark));
}

QCoro::Task<TessaronPairingErrorKind> TessaronSession::recordCommitFailure(TessaronPendingRedemption record) {
    ++record.commitAttempts;
    if (record.commitAttempts < commitAttemptLimit) {
        auto save = [store = services_.pendingRedemptions, record] {
            try {
                store.save(record);
            } catch (const TessaronError&) {
                // The count is lost, not the record: the next attempt counts from the stored one.
            }
        };
        co_await services_.keychain.run(std::move(save));
        co_return TessaronPairingErrorKind::redeemedNotCommitted;
    }
    co_await giveUpPendingRedemption();
    co_return TessaronPairingErrorKind::redeemedUnrecoverable;
}

QCoro::Task<> TessaronSession::commitRedeemedProfile(TessaronProfile profile) {
    QPointer self(this);
    const auto validated = decodeValidated(profile.canonicalJSON());
    const auto marked = co_await markPendingRedeemed(validated);
    if (!self)
        co_return;
    bool stored = false;
    try {
        co_await storeAndSelect(validated);
        stored = true;
    } catch (const TessaronError&) {
    }
    if (!self)
        co_return;
    if (!stored) {
        if (marked) {
            const auto failure = co_await recordCommitFailure(*marked);
            throw pairingError(failure);
        }
        co_await giveUpPendingRedemption();
        throw pairingError(TessaronPairingErrorKind::redeemedUnrecoverable);
    }
    // storeAndSelect moved the selection only while the link was idle; otherwise the choice waits for the
    // roster pull.
    const bool selectedAtOnce = linkIsIdle();

    co_await pullRoster(validated.id);
    if (!self)
        co_return;
    const auto failure = co_await deletePendingRecord();
    if (!self)
        co_return;
    if (failure) {
        if (marked)
            throw *failure;
        log_.error(QStringLiteral("pending removal failed %1 %2")
                       .arg(failure->domain(), QString::number(failure->code())));
    }
    // Decided on the link as the pull left it: it may have dropped, or come up, meanwhile.
    const bool idle = linkIsIdle();
    if (!selectedAtOnce && (idle || !selectedID_)) {
        setSelectedID(validated.id);
        storeSelection(validated.id);
    }
    if (idle) {
        co_await startSelectedConnection();
        co_return;
    }
    // A connect the user started on the new selection during the pull is theirs; only a link that kept
    // another selection refuses the change.
    if (!selectedAtOnce && selectedID_ != validated.id)
        throw TessaronSessionFailure(TessaronSessionFailureKind::profileChangeWhileActive);
}

bool TessaronSession::linkIsIdle() const {
    return phase_ == TessaronLinkPhase::disconnected && !connectInFlight_;
}

QCoro::Task<> TessaronSession::recoverRedeemedInvitation(TessaronPendingRedemption record) {
    QPointer self(this);
    ScopedFlag handling(this, linkInFlight_);
    // Its commit would move the selection from under a link that is up or starting.
    if (!linkIsIdle() || isActing_)
        co_return;
    if (!record.redeemedProfileJSON) {
        co_await giveUpPendingRedemption();
        co_return;
    }
    const auto profile = decodedOrNone(record.redeemedProfileJSON);
    if (!profile) {
        const auto failure = co_await recordCommitFailure(record);
        if (self)
            reportFailure(pairingError(failure));
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
    if (invitationRecoveryInFlight_ || linkInFlight_)
        co_return;
    ScopedFlag recovering(this, invitationRecoveryInFlight_);
    std::optional<TessaronPendingRedemption> record;
    try {
        auto load = [store = services_.pendingRedemptions] {
            return store.load();
        };
        record = co_await services_.keychain.run(std::move(load));
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
        co_return;
    }
    if (!self || !record)
        co_return;
    if (record->redeemed)
        co_await recoverRedeemedInvitation(*record);
    else
        co_await recoverUnredeemed(*record);
}

QCoro::Task<> TessaronSession::recoverUnredeemed(TessaronPendingRedemption record) {
    // A record whose one repeat is spent can never finish: say so once.
    if (record.retryUsed) {
        QPointer self(this);
        co_await deletePendingRecord();
        if (self)
            reportFailure(pairingError(TessaronPairingErrorKind::timedOut));
        co_return;
    }
    // Whatever its age, and also while a link is up or starting or a change runs, only the service knows
    // whether the redemption went through: the record is asked for once more, and the commit places the
    // profile on the link as it then is. The repeat waits only for the consent it needs.
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
    QPointer self(this);
    // Opened at launch, the link may come before the stored sign-in has been read.
    co_await services_.signIn.signInStateKnown();
    if (!self)
        co_return;
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
    co_await storeAndSelect(validated);
    if (!self)
        co_return;
    if (selectedID_ != validated.id)
        throw TessaronSessionFailure(TessaronSessionFailureKind::profileChangeWhileActive);
    if (linkIsIdle())
        co_await pullRoster(validated.id);
}

} // namespace tessaron
