#include "session/tessaron_session.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"

namespace tessaron {

QCoro::Task<> TessaronSession::setConnectOnDemand(bool enabled) {
    QPointer self(this);
    if (enabled == connectOnDemand_ && manager_ && manager_->onDemandEnabled == enabled)
        co_return;
    assign(connectOnDemand_, enabled, &TessaronSession::connectOnDemandChanged);
    services_.preferences.setValue(session_keys::connectOnDemand, enabled);
    if (!manager_)
        co_return;
    const auto change = [enabled](TunnelProviderManager& manager) {
        applyOnDemandRules(manager, enabled);
    };
    const auto reloaded = co_await rewriteConfiguration(change);
    if (!self || !reloaded)
        co_return;
    assign(connectOnDemand_, reloaded->onDemandEnabled, &TessaronSession::connectOnDemandChanged);
    services_.preferences.setValue(session_keys::connectOnDemand, reloaded->onDemandEnabled);
}

QCoro::Task<> TessaronSession::setKillSwitch(bool enabled) {
    QPointer self(this);
    if (enabled == killSwitch_)
        co_return;
    assign(killSwitch_, enabled, &TessaronSession::killSwitchChanged);
    services_.preferences.setValue(session_keys::killSwitch, enabled);
    // Without a configuration the value is written at the next install.
    if (!manager_)
        co_return;
    const auto change = [enabled](TunnelProviderManager& manager) {
        setKillSwitchOnManager(manager, enabled);
    };
    const auto reloaded = co_await rewriteConfiguration(change);
    if (!self || !reloaded)
        co_return;
    if (const auto stored = installedKillSwitch(*reloaded)) {
        assign(killSwitch_, *stored, &TessaronSession::killSwitchChanged);
        services_.preferences.setValue(session_keys::killSwitch, *stored);
    }
}

QCoro::Task<std::optional<TunnelProviderManager>>
TessaronSession::rewriteConfiguration(std::function<void(TunnelProviderManager&)> change) {
    QPointer self(this);
    auto turn = co_await configurationChanges_.enter();
    if (!self || !manager_)
        co_return std::nullopt;
    bool failed = false;
    try {
        auto manager = *manager_;
        change(manager);
        const auto reloaded = co_await saveAndReload(std::move(manager));
        if (!self)
            co_return std::nullopt;
        adoptManager(reloaded);
        setLastError(std::nullopt);
        co_return reloaded;
    } catch (const TessaronError& error) {
        if (!self)
            co_return std::nullopt;
        reportFailure(error);
        failed = true;
    }
    // The published settings go back to what the system holds, still in this change's turn.
    if (failed)
        co_await reloadAfterFailedChange();
    co_return std::nullopt;
}

QCoro::Task<> TessaronSession::reloadAfterFailedChange() {
    QPointer self(this);
    try {
        co_await loadManagers();
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
    }
}

void TessaronSession::setIdleDisconnect(bool enabled) {
    if (enabled == idleDisconnect_)
        return;
    assign(idleDisconnect_, enabled, &TessaronSession::idleDisconnectChanged);
    services_.preferences.setValue(session_keys::idleDisconnect, enabled);
    // A stop record from before the setting was on would read as an idle stop to the tunnel.
    if (enabled)
        services_.groupPreferences.remove(tunnelLastStopKey);
}

QCoro::Task<> TessaronSession::removeSystemConfiguration() {
    QPointer self(this);
    if (isActing_)
        co_return;
    auto turn = co_await configurationChanges_.enter();
    if (self)
        co_await removeOwnConfigurations();
}

QCoro::Task<> TessaronSession::removeOwnConfigurations() {
    QPointer self(this);
    setLastError(std::nullopt);
    QList<TunnelProviderManager> own;
    try {
        const auto loaded = co_await services_.tunnelManagers.loadAll();
        own = TessaronManagerSelection::ownManagers(loaded);
        for (const auto& manager : own) {
            co_await services_.tunnelManagers.remove(manager.identifier);
            if (!self)
                co_return;
        }
    } catch (const TessaronError& error) {
        // The configurations after a failed removal stay installed.
        if (self)
            reportFailure(error);
        co_return;
    }
    if (!self)
        co_return;
    dropManager();
    applyVPNStatus(VpnStatus::invalid);
    if (!own.isEmpty())
        log_.info(QStringLiteral("tessaron configuration removed"));
}

} // namespace tessaron
