#include "support/fake_tunnel_managers.hpp"

#include <algorithm>

namespace tessaron::testing {

FakeTunnelManagers::FakeTunnelManagers(Clock& clock)
    : clock_(clock) {}

FakeTunnelManagers::~FakeTunnelManagers() = default;

void FakeTunnelManagers::failNext(Operation operation, std::exception_ptr error) {
    failures_[operation].push_back(std::move(error));
}

QUuid FakeTunnelManagers::addStored(TunnelProviderManager manager) {
    const auto identifier = applySave(stored_, std::move(manager));
    fakeConnection(identifier).setStatus(VpnStatus::disconnected);
    return identifier;
}

FakeVpnConnection& FakeTunnelManagers::fakeConnection(const QUuid& identifier) {
    auto& connection = connections_[identifier];
    if (!connection)
        connection = std::make_unique<FakeVpnConnection>(
            clock_, isStored(identifier) ? VpnStatus::disconnected : VpnStatus::invalid);
    return *connection;
}

std::optional<QUuid> FakeTunnelManagers::liveConfiguration() const {
    for (const auto& [identifier, connection] : connections_) {
        if (isLive(connection->status()))
            return identifier;
    }
    return std::nullopt;
}

QCoro::Task<QList<TunnelProviderManager>> FakeTunnelManagers::loadAll() {
    co_await begin(Operation::loadAll, {});
    QList<TunnelProviderManager> managers;
    for (const auto& manager : std::as_const(stored_))
        managers.append(asReloaded(manager));
    co_return managers;
}

QCoro::Task<QUuid> FakeTunnelManagers::save(TunnelProviderManager manager) {
    co_await begin(Operation::save, manager.identifier);
    if (dropsLeft_ > 0) {
        --dropsLeft_;
        manager.protocolConfiguration = std::monostate{};
    }
    const auto identifier = applySave(stored_, std::move(manager));
    auto& connection = fakeConnection(identifier);
    if (connection.status() == VpnStatus::invalid)
        connection.setStatus(VpnStatus::disconnected);
    co_return identifier;
}

QCoro::Task<TunnelProviderManager> FakeTunnelManagers::load(QUuid identifier) {
    co_await begin(Operation::load, identifier);
    const auto found = std::find_if(stored_.cbegin(), stored_.cend(),
                                    [&](const auto& manager) { return manager.identifier == identifier; });
    if (found == stored_.cend())
        throw VpnError(VpnErrorKind::configurationInvalid);
    co_return asReloaded(*found);
}

QCoro::Task<> FakeTunnelManagers::remove(QUuid identifier) {
    co_await begin(Operation::remove, identifier);
    if (!isStored(identifier))
        co_return;
    stored_.removeIf([&](const auto& manager) { return manager.identifier == identifier; });
    fakeConnection(identifier).setStatus(VpnStatus::invalid);
}

QCoro::Task<> FakeTunnelManagers::begin(Operation operation, QUuid identifier) {
    calls_.append({operation, identifier});
    maximumConcurrent_ = std::max(maximumConcurrent_, ++running_);
    if (latency_ > Clock::Duration::zero())
        co_await clock_.sleep(latency_);
    --running_;
    auto& queued = failures_[operation];
    if (!queued.empty()) {
        auto failure = queued.front();
        queued.pop_front();
        std::rethrow_exception(failure);
    }
}

bool FakeTunnelManagers::isStored(const QUuid& identifier) const {
    return std::any_of(stored_.cbegin(), stored_.cend(),
                       [&](const auto& manager) { return manager.identifier == identifier; });
}

} // namespace tessaron::testing
