#pragma once

#include "health/failover_cause.hpp"
#include "health/latency_sample.hpp"
#include "health/node_ordering.hpp"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <optional>

namespace tessaron {

// Decides, for one event about the node that carries the link, whether to move to another node, stay, or
// give up and disconnect. A plain value: it changes nothing but its own fields.
//
// A failing node is excluded for a while. Switches are budgeted: at most three within a window that opens
// at the first switch, after which the next failure gives up. A node whose monthly budget is used up is
// left without touching the switch budget.
class FailoverPolicy {
public:
    static constexpr std::chrono::seconds exclusionDuration{600};
    // A blocked link counts as failed after this long on the last working node, and sooner on any other.
    static constexpr std::chrono::seconds blockedTriedThreshold{20};
    static constexpr std::chrono::seconds blockedUntriedThreshold{8};
    // Connect watchdogs of the session: another node gets less time than the last working one.
    static constexpr std::chrono::seconds connectTimeout{12};
    static constexpr std::chrono::seconds connectTimeoutLastGood{20};
    static constexpr std::chrono::seconds windowDuration{600};
    static constexpr int maxSwitchesPerWindow = 3;

    enum class ExclusionReason { paused, other };

    struct Exclusion {
        QDateTime until;
        QDateTime since;
        ExclusionReason reason = ExclusionReason::other;

        friend bool operator==(const Exclusion&, const Exclusion&) = default;
    };

    // Something that happened to the node `id`. Only the fields of the event's kind carry meaning; build
    // events with the named constructors.
    struct Event {
        enum class Kind { connectFailed, blocked, checkFailed, recovered, paused };

        Kind kind = Kind::recovered;
        QUuid id;
        TessaronFailoverCause cause = TessaronFailoverCause::other;
        double seconds = 0;
        // The node is not the stored last working node.
        bool untried = false;

        static Event connectFailed(const QUuid& id, TessaronFailoverCause cause) {
            return {Kind::connectFailed, id, cause, 0, false};
        }
        static Event blocked(const QUuid& id, double seconds, bool untried) {
            return {Kind::blocked, id, TessaronFailoverCause::other, seconds, untried};
        }
        static Event checkFailed(const QUuid& id, bool untried) {
            return {Kind::checkFailed, id, TessaronFailoverCause::other, 0, untried};
        }
        static Event recovered(const QUuid& id) {
            return {Kind::recovered, id, TessaronFailoverCause::other, 0, false};
        }
        static Event paused(const QUuid& id) {
            return {Kind::paused, id, TessaronFailoverCause::other, 0, false};
        }

        // Whether the event is a failure that excludes the node and may switch.
        bool countsAsFailure() const;
        // "connectFailed", "blocked", "checkFailed", "recovered" or "paused".
        QString kindName() const;

        friend bool operator==(const Event&, const Event&) = default;
    };

    struct Action {
        enum class Kind { switchTo, none, giveUp };

        Kind kind = Kind::none;
        // The node to move to, for switchTo.
        QUuid target;

        static Action switchTo(const QUuid& id) { return {Kind::switchTo, id}; }
        static Action none() { return {Kind::none, {}}; }
        static Action giveUp() { return {Kind::giveUp, {}}; }

        friend bool operator==(const Action&, const Action&) = default;
    };

    // `candidates` are the nodes in the order failover prefers them; the node of the event may be among
    // them. Never fails: every input yields an action.
    Action handle(const Event& event, const QDateTime& now, const QList<QUuid>& candidates,
                  const LatencyTable& latencies, const NodeHealthTable& health);

    // The nodes excluded at `now`, after dropping expired exclusions and closing an expired window.
    QSet<QUuid> activeExclusions(const QDateTime& now);

    const QHash<QUuid, Exclusion>& exclusions() const { return exclusions_; }
    const std::optional<QDateTime>& windowStart() const { return windowStart_; }
    int switchesInWindow() const { return switchesInWindow_; }

    friend bool operator==(const FailoverPolicy&, const FailoverPolicy&) = default;

private:
    void expire(const QDateTime& now);
    void exclude(const QUuid& id, const QDateTime& now, ExclusionReason reason);
    Action fail(const QUuid& id, const QDateTime& now, const QList<QUuid>& candidates,
                const LatencyTable& latencies, const NodeHealthTable& health);
    Action leavePaused(const QUuid& id, const QDateTime& now, const QList<QUuid>& candidates,
                       const LatencyTable& latencies, const NodeHealthTable& health);

    QHash<QUuid, Exclusion> exclusions_;
    std::optional<QDateTime> windowStart_;
    int switchesInWindow_ = 0;
};

} // namespace tessaron
