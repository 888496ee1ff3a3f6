#pragma once

#include "platform/clock.hpp"
#include "platform/vpn_connection.hpp"

#include <QHash>
#include <QList>

#include <exception>
#include <optional>

namespace tessaron::testing {

// A VPN connection whose tunnel follows a script on the test's clock. A start or stop plays its steps:
// those due at once are applied before the call returns, later ones when the clock reaches them; a new
// start or stop drops the steps still pending from the one before.
class FakeVpnConnection final : public VpnConnection {
    Q_OBJECT
public:
    struct Step {
        Clock::Duration after;
        VpnStatus status;
        // Becomes the last disconnect error when the step is applied.
        std::optional<PlatformError> error = std::nullopt;
    };

    FakeVpnConnection(Clock& clock, VpnStatus initial, QObject* parent = nullptr);
    ~FakeVpnConnection() override;

    // Applies a status at once, announcing it when it changes.
    void setStatus(VpnStatus status);
    // Connecting at once, and nothing after, unless set otherwise.
    void setStartSteps(QList<Step> steps) { startSteps_ = std::move(steps); }
    // Disconnecting and then disconnected at once, unless set otherwise.
    void setStopSteps(QList<Step> steps) { stopSteps_ = std::move(steps); }
    // The next start throws this error and plays nothing.
    void failNextStart(std::exception_ptr error) { startFailure_ = std::move(error); }
    template <typename Error> void failNextStart(Error error) {
        failNextStart(std::make_exception_ptr(std::move(error)));
    }
    void setLastDisconnectError(std::optional<PlatformError> error) { lastError_ = std::move(error); }

    // The reply to a message; a message without one gets no reply.
    void setReply(const QByteArray& message, std::optional<QByteArray> reply) {
        replies_.insert(message, reply);
    }

    int startCount() const { return startCount_; }
    int stopCount() const { return stopCount_; }
    const QList<QByteArray>& sentMessages() const { return sentMessages_; }

    VpnStatus status() const override { return status_; }
    QCoro::Task<> startTunnel() override;
    void stopTunnel() override;
    QCoro::Task<std::optional<PlatformError>> lastDisconnectError() override;
    QCoro::Task<std::optional<QByteArray>> sendProviderMessage(QByteArray message) override;

private:
    void play(const QList<Step>& steps);
    void apply(const Step& step);
    void dropPendingSteps();

    Clock& clock_;
    VpnStatus status_;
    QList<Step> startSteps_;
    QList<Step> stopSteps_;
    QList<Clock::TimerId> pendingSteps_;
    std::exception_ptr startFailure_;
    std::optional<PlatformError> lastError_;
    QHash<QByteArray, std::optional<QByteArray>> replies_;
    int startCount_ = 0;
    int stopCount_ = 0;
    QList<QByteArray> sentMessages_;
};

} // namespace tessaron::testing
