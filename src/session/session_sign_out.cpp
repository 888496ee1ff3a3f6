#include "session/tessaron_session.hpp"

#include "session/session_keys.hpp"
#include "session/sign_out_step.hpp"

#include <array>

namespace tessaron {

namespace {

constexpr std::array signOutSteps{
    TessaronSignOutStep::stopTunnel,
    TessaronSignOutStep::deleteProfiles,
    TessaronSignOutStep::removeSystemConfiguration,
    TessaronSignOutStep::clearGeoData,
    TessaronSignOutStep::removeStoredKeys,
};

} // namespace

QCoro::Task<> TessaronSession::resetForSignOut() {
    QPointer self(this);
    for (const auto step : signOutSteps) {
        switch (step) {
        case TessaronSignOutStep::stopTunnel:
            resetLinkIntent();
            if (phase_ != TessaronLinkPhase::disconnected && phase_ != TessaronLinkPhase::disconnecting)
                stopTunnel();
            break;
        case TessaronSignOutStep::deleteProfiles:
            co_await deleteAllProfiles();
            if (!self)
                co_return;
            break;
        case TessaronSignOutStep::removeSystemConfiguration: {
            // Unlike the settings' removal, the wipe waits for a running change instead of skipping: it
            // must not leave the configuration installed.
            auto turn = co_await configurationChanges_.enter();
            if (!self)
                co_return;
            co_await removeOwnConfigurations();
            if (!self)
                co_return;
            break;
        }
        case TessaronSignOutStep::clearGeoData:
            clearGeoData();
            break;
        case TessaronSignOutStep::removeStoredKeys: {
            const auto failure = co_await deletePendingRecord();
            if (!self)
                co_return;
            if (failure)
                reportFailure(*failure);
            forgetAccountState();
            break;
        }
        }
    }
}

QCoro::Task<> TessaronSession::deleteAllProfiles() {
    QPointer self(this);
    try {
        // Every item of the service, the unreadable ones included.
        auto query = services_.keychainStore.baseQuery(QUuid());
        query.account.reset();
        auto remove = [keychain = &services_.keychain, query] {
            return keychain->remove(query);
        };
        const auto status = co_await services_.keychain.run(std::move(remove));
        if (status != keychain_status::success && status != keychain_status::itemNotFound)
            throw TessaronKeychainError::status(status);
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
    }
    if (!self)
        co_return;
    removalsAfterLink_.clear();
    setSummaries({});
    setSelectedID(std::nullopt);
}

void TessaronSession::forgetAccountState() {
    auto& preferences = services_.preferences;
    preferences.remove(session_keys::selectedProfileID);
    managedProfiles_.clear();
    for (const auto& key : preferences.keys()) {
        if (key.startsWith(session_keys::profilesRefreshedAtPrefix))
            preferences.remove(key);
    }
    // What the account's rosters said is the account's too.
    assign(nodeHealth_, NodeHealthTable{}, &TessaronSession::nodeHealthChanged);
    assign(dataUsage_, std::optional<TessaronDataUsage>(), &TessaronSession::dataUsageChanged);
    deferredInvitationCode_.reset();
    pendingConnect_ = false;
    lastConnectedRosterPull_.reset();
    failedRosterPulls_.clear();
}

} // namespace tessaron
