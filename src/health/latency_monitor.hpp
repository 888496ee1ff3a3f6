#pragma once

#include "health/latency_probe.hpp"
#include "health/latency_sample.hpp"
#include "health/latency_target.hpp"
#include "platform/clock.hpp"
#include "platform/task_slot.hpp"

#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace tessaron {

// Keeps one smoothed connect-time figure for every node of the session's list. The selected node is
// measured more often while the link is up; probing runs only while the application is in front.
// Lives on the main thread.
class LatencyMonitor final : public QObject {
    Q_OBJECT
    Q_PROPERTY(tessaron::LatencyTable samples READ samples NOTIFY samplesChanged)
public:
    static constexpr Clock::Duration tick = std::chrono::milliseconds(500);
    static constexpr Clock::Duration minimumInterval = std::chrono::seconds(1);
    static constexpr Clock::Duration defaultActiveInterval = std::chrono::seconds(10);
    static constexpr Clock::Duration defaultOthersInterval = std::chrono::seconds(30);
    static constexpr std::chrono::milliseconds connectDeadline{3000};

    // The probe and the clock must outlive the monitor; a measurement still in flight when they go ends
    // later without touching any of them.
    LatencyMonitor(LatencyProbe& probe, Clock& clock, QObject* parent = nullptr);

    const LatencyTable& samples() const { return samples_; }
    const QList<LatencyTarget>& targets() const { return targets_; }
    const std::optional<QUuid>& activeID() const { return activeID_; }
    Clock::Duration activeInterval() const { return activeInterval_; }
    Clock::Duration othersInterval() const { return othersInterval_; }
    bool isActive() const { return isActive_; }
    // True while the probe loop runs.
    bool isProbing() const { return loop_.isRunning(); }

    // A new list or a new selected node makes every target due now; the same list and node with new
    // intervals only changes the pace. An empty list stops probing and forgets every sample.
    void update(QList<LatencyTarget> targets, std::optional<QUuid> activeID, Clock::Duration activeInterval,
                Clock::Duration othersInterval);
    // Switching on makes every target due now. Switching off lets a measurement in flight finish and
    // record before probing stops.
    void setActive(bool active);

    // Measures every current target at once, each cut off after the budget, and records each result as it
    // arrives. A node cut off loses its sample.
    QCoro::Task<> measureAll(Clock::Duration budget);

    // One measurement, or none when the budget runs out first; a late answer is dropped.
    static QCoro::Task<std::optional<int>> measureCapped(Clock* clock, LatencyProbe* probe, QString host,
                                                         int port, Clock::Duration budget);

    // The time one TCP connection to the host and port takes to become ready: name resolution (for a name)
    // and the handshake, nothing else. No data is sent; the connection is closed as soon as it is ready.
    // Every lookup and handshake is waited for on one thread of its own (HandshakeWaiter), so neither a
    // silent name server nor a slow peer holds up the caller's thread or another measurement, and the work
    // may outlive the clock. None for a port outside 1 to 65535, a name that does not resolve, a refused or
    // failed connection, or no answer within the deadline. Names are looked up with the name servers given
    // ("address:port", separated by commas), or the system's when none are. Defined with the socket work in
    // tcp_connect_probe.cpp.
    static QCoro::Task<std::optional<int>> tcpConnectMilliseconds(QString host, int port, Clock* clock,
                                                                  std::chrono::milliseconds deadline,
                                                                  std::string nameServers = {});

Q_SIGNALS:
    void samplesChanged(const tessaron::LatencyTable& samples);

private:
    static QCoro::Task<> probeLoop(QPointer<LatencyMonitor> self, CancellationToken cancellation);
    static QCoro::Task<> measureRound(QPointer<LatencyMonitor> self, QList<LatencyTarget> targets,
                                      Clock* clock, LatencyProbe* probe, Clock::Duration budget);
    struct Round;
    static QCoro::Task<> measureInRound(QPointer<LatencyMonitor> self, LatencyTarget target, Clock* clock,
                                        LatencyProbe* probe, Clock::Duration budget,
                                        std::shared_ptr<Round> round);

    void stop();
    void makeEveryTargetDue();
    void startLoopUnlessRunning();
    std::optional<LatencyTarget> nextDueTarget() const;
    Clock::Duration intervalFor(const QUuid& id) const;
    void record(const LatencyTarget& target, std::optional<int> milliseconds);
    void scheduleNext(const LatencyTarget& target);
    void setSamples(LatencyTable samples);

    LatencyProbe& probe_;
    Clock& clock_;
    LatencyTable samples_;
    QList<LatencyTarget> targets_;
    std::optional<QUuid> activeID_;
    Clock::Duration activeInterval_ = defaultActiveInterval;
    Clock::Duration othersInterval_ = defaultOthersInterval;
    bool isActive_ = true;
    // Monotonic readings, so that a change of the system date neither stalls nor rushes probing.
    QHash<QUuid, Clock::Duration> nextDue_;
    TaskSlot loop_;
};

} // namespace tessaron
