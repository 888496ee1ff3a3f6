#pragma once

#include "support/fake_vpn_connection.hpp"

#include "platform/clock.hpp"
#include "platform/tunnel_managers.hpp"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>

namespace tessaron::testing {

// The system's VPN configurations in memory. Saves and loads behave as the system's do (applySave,
// asReloaded); failures, configurations lost on save and slow operations can be arranged. Each
// configuration's connection is a FakeVpnConnection, invalid while the configuration is not stored.
//
// The fake must outlive the operations it runs.
class FakeTunnelManagers final : public TunnelManagers {
public:
    enum class Operation { loadAll, save, load, remove };

    struct Call {
        Operation operation;
        // Null for loadAll and for the save of a new manager.
        QUuid identifier;
        bool operator==(const Call&) const = default;
    };

    explicit FakeTunnelManagers(Clock& clock)
        : clock_(clock) {}

    // The next operation of that kind throws this error after its latency, and changes nothing.
    void failNext(Operation operation, std::exception_ptr error) {
        failures_[operation].append(std::move(error));
    }
    template <typename Error> void failNext(Operation operation, Error error) {
        failNext(operation, std::make_exception_ptr(std::move(error)));
    }
    // The next `count` saves succeed but keep the manager without its protocol configuration, as the
    // system sometimes does.
    void dropConfigurationOnNextSaves(int count = 1) { dropsLeft_ = count; }
    // Every operation takes this long on the clock before it acts.
    void setLatency(Clock::Duration latency) { latency_ = latency; }

    // A configuration stored before the test began.
    QUuid addStored(TunnelProviderManager manager) {
        const auto identifier = applySave(stored_, std::move(manager));
        fakeConnection(identifier).setStatus(VpnStatus::disconnected);
        return identifier;
    }
    // The managers as stored, integers still integers.
    const QList<TunnelProviderManager>& stored() const { return stored_; }
    const QList<Call>& calls() const { return calls_; }
    // The most operations that ever ran at once.
    int maximumConcurrentOperations() const { return maximumConcurrent_; }

    FakeVpnConnection& fakeConnection(const QUuid& identifier) {
        auto& connection = connections_[identifier];
        if (!connection)
            connection = std::make_unique<FakeVpnConnection>(
                clock_, find(identifier) ? VpnStatus::disconnected : VpnStatus::invalid);
        return *connection;
    }

    QCoro::Task<QList<TunnelProviderManager>> loadAll() override {
        co_await begin(Operation::loadAll, {});
        QList<TunnelProviderManager> managers;
        for (const auto& manager : std::as_const(stored_))
            managers.append(asReloaded(manager));
        co_return managers;
    }
    QCoro::Task<QUuid> save(TunnelProviderManager manager) override {
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
    QCoro::Task<TunnelProviderManager> load(QUuid identifier) override {
        co_await begin(Operation::load, identifier);
        const auto* found = find(identifier);
        if (!found)
            throw VpnError(VpnErrorKind::configurationInvalid);
        co_return asReloaded(*found);
    }
    QCoro::Task<> remove(QUuid identifier) override {
        co_await begin(Operation::remove, identifier);
        if (stored_.removeIf([&](const auto& manager) { return manager.identifier == identifier; }) > 0)
            fakeConnection(identifier).setStatus(VpnStatus::invalid);
    }
    VpnConnection& connection(const QUuid& identifier) override { return fakeConnection(identifier); }
    std::optional<QUuid> liveConfiguration() const override {
        const auto live = std::ranges::find_if(
            connections_, [](const auto& entry) { return isLive(entry.second->status()); });
        return live == connections_.end() ? std::nullopt : std::optional(live->first);
    }

private:
    // Records the call and waits out the latency; throws the failure arranged for the operation.
    QCoro::Task<> begin(Operation operation, QUuid identifier) {
        calls_.append({operation, identifier});
        maximumConcurrent_ = std::max(maximumConcurrent_, ++running_);
        if (latency_ > Clock::Duration::zero())
            co_await clock_.sleep(latency_);
        --running_;
        if (auto& queued = failures_[operation]; !queued.isEmpty())
            std::rethrow_exception(queued.takeFirst());
    }
    const TunnelProviderManager* find(const QUuid& identifier) const {
        const auto found = std::ranges::find(stored_, identifier, &TunnelProviderManager::identifier);
        return found == stored_.end() ? nullptr : &*found;
    }

    Clock& clock_;
    QList<TunnelProviderManager> stored_;
    std::map<Operation, QList<std::exception_ptr>> failures_;
    int dropsLeft_ = 0;
    Clock::Duration latency_{};
    QList<Call> calls_;
    int running_ = 0;
    int maximumConcurrent_ = 0;
    std::map<QUuid, std::unique_ptr<FakeVpnConnection>> connections_;
};

} // namespace tessaron::testing
