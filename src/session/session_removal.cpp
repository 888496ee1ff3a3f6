#include "session/tessaron_session.hpp"

#include "profiles/json_values.hpp"
#include "session/tunnel_configuration.hpp"

namespace tessaron {

QCoro::Task<> TessaronSession::removeSavedConnection(QUuid id) {
    QPointer self(this);
    if (phase_ != TessaronLinkPhase::disconnected && selectedID_ == id) {
        setLastError(refusalText(TessaronSessionFailureKind::disconnectFirst));
        co_return;
    }
    try {
        auto remove = [store = services_.keychainStore, id] {
            store.remove(id);
        };
        co_await services_.keychain.run(std::move(remove));
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
        co_return;
    }
    if (!self)
        co_return;
    if (selectedID_ == id) {
        setSelectedID(std::nullopt);
        storeSelection(std::nullopt);
    }
    if (TessaronManagerSelection::profileID(manager_) == uuidText(id)) {
        auto turn = co_await configurationChanges_.enter();
        if (!self)
            co_return;
        // The configuration may have been rewritten for another profile while this removal waited.
        if (TessaronManagerSelection::profileID(manager_) == uuidText(id)) {
            try {
                co_await services_.tunnelManagers.remove(manager_->identifier);
                if (!self)
                    co_return;
                dropManager();
                applyVPNStatus(VpnStatus::invalid);
            } catch (const TessaronError& error) {
                if (!self)
                    co_return;
                // The listing is read again all the same: the profile itself is gone.
                reportFailure(error);
            }
        }
    }
    const bool listed = co_await readListing();
    if (listed)
        log_.info(QStringLiteral("invitation removed"));
}

} // namespace tessaron
