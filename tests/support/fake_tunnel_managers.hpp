#pragma once

#include "support/fake_vpn_connection.hpp"

#include "platform/clock.hpp"
#include "platform/tunnel_managers.hpp"

#include <deque>
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

    explicit FakeTunnelManagers(Clock& clock);
    ~FakeTunnelManagers() override;

    // The next operation of that kind throws this error after its latency, and changes nothing.
    void failNext(Operation operation, std::exception_ptr error);
    template <typename Error> void failNext(Operation operation, Error error) {
        failNext(operation, std::make_exception_ptr(std::move(error)));
    }
    // The next `count` saves succeed but keep the manager without its protocol configuration, as the
    // system sometimes does.
    void dropConfigurationOnNextSaves(int count = 1) { dropsLeft_ = count; }
    // Every operation takes this long on the clock before it acts.
    void setLatency(Clock::Duration latency) { latency_ = latency; }

    // A configuration stored before the test began.
    QUuid addStored(TunnelProviderManager manager);
    // The managers as stored, integers still integers.
    const QList<TunnelProviderManager>& stored() const { return stored_; }
    const QList<Call>& calls() const { return calls_; }
    // The most operations that ever ran at once.
    int maximumConcurrentOperations() const { return maximumConcurrent_; }

    FakeVpnConnection& fakeConnection(const QUuid& identifier);

    QCoro::Task<QList<TunnelProviderManager>> loadAll() override;
    QCoro::Task<QUuid> save(TunnelProviderManager manager) override;
    QCoro::Task<TunnelProviderManager> load(QUuid identifier) override;
    QCoro::Task<> remove(QUuid identifier) override;
    VpnConnection& connection(const QUuid& identifier) override { return fakeConnection(identifier); }
    std::optional<QUuid> liveConfiguration() const override;

private:
    // Records the call and waits out the latency; throws the failure arranged for the operation.
    QCoro::Task<> begin(Operation operation, QUuid identifier);
    bool isStored(const QUuid& identifier) const;

    Clock& clock_;
    QList<TunnelProviderManager> stored_;
    std::map<Operation, std::deque<std::exception_ptr>> failures_;
    int dropsLeft_ = 0;
    Clock::Duration latency_{};
    QList<Call> calls_;
    int running_ = 0;
    int maximumConcurrent_ = 0;
    std::map<QUuid, std::unique_ptr<FakeVpnConnection>> connections_;
};

} // namespace tessaron::testing
