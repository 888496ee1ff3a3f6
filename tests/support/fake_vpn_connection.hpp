#pragma once

#include "platform/clock.hpp"
#include "platform/vpn_connection.hpp"
#include "support/event_loop_turn.hpp"

#include <QHash>
#include <QList>

#include <exception>
#include <optional>
#include <utility>

namespace tessaron::testing {

// A VPN connection whose tunnel follows a script on the test's clock. A start or stop plays its steps:
// those due at once are applied before the call ends, later ones when the clock reaches them; a new start
// or stop drops the steps still pending from the one before. What the tunnel answers over its socket (a
// start, a message, the last error) comes from the event loop, as the socket's answers do.
class FakeVpnConnection final : public VpnConnection {
    Q_OBJECT
public:
    struct Step {
        Clock::Duration after;
        VpnStatus status;
        // Becomes the last disconnect error when the step is applied.
        std::optional<PlatformError> error = std::nullopt;
    };

    FakeVpnConnection(Clock& clock, VpnStatus initial, QObject* parent = nullptr)
        : VpnConnection(parent)
        , clock_(clock)
        , status_(initial) {}
    ~FakeVpnConnection() override { dropPendingSteps(); }

    // Applies a status at once, announcing it when it changes.
    void setStatus(VpnStatus status) {
        if (std::exchange(status_, status) != status)
            Q_EMIT statusChanged(status);
    }
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
    QCoro::Task<> startTunnel() override {
        ++startCount_;
        co_await eventLoopTurn();
        if (startFailure_)
            std::rethrow_exception(std::exchange(startFailure_, nullptr));
        lastError_.reset();
        play(startSteps_);
        co_return;
    }
    void stopTunnel() override {
        ++stopCount_;
        if (isLive(status_))
            play(stopSteps_);
    }
    QCoro::Task<std::optional<PlatformError>> lastDisconnectError() override {
        co_await eventLoopTurn();
        co_return lastError_;
    }
    QCoro::Task<std::optional<QByteArray>> sendProviderMessage(QByteArray message) override {
        sentMessages_.append(message);
        co_await eventLoopTurn();
        if (!isLive(status_))
            throw VpnError(VpnErrorKind::connectionFailed);
        co_return replies_.value(message);
    }

private:
    void play(const QList<Step>& steps) {
        dropPendingSteps();
        const auto start = clock_.monotonic();
        for (const auto& step : steps) {
            if (step.after <= Clock::Duration::zero())
                apply(step);
            else
                pendingSteps_.append(clock_.schedule(start + step.after, {}, [this, step] { apply(step); }));
        }
    }
    void apply(const Step& step) {
        if (step.error)
            lastError_ = step.error;
        setStatus(step.status);
    }
    void dropPendingSteps() {
        for (const auto id : std::exchange(pendingSteps_, {}))
            clock_.unschedule(id);
    }

    Clock& clock_;
    VpnStatus status_;
    QList<Step> startSteps_{{Clock::Duration::zero(), VpnStatus::connecting}};
    QList<Step> stopSteps_{{Clock::Duration::zero(), VpnStatus::disconnecting},
                           {Clock::Duration::zero(), VpnStatus::disconnected}};
    QList<Clock::TimerId> pendingSteps_;
    std::exception_ptr startFailure_;
    std::optional<PlatformError> lastError_;
    QHash<QByteArray, std::optional<QByteArray>> replies_;
    int startCount_ = 0;
    int stopCount_ = 0;
    QList<QByteArray> sentMessages_;
};

} // namespace tessaron::testing
