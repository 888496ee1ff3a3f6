#include "session/tessaron_session.hpp"

#include "health/failover_planner.hpp"
#include "profiles/json_values.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>

// The session's side of failover: health events become actions of the failover policy, and the session
// carries them out by moving the link to the XHTTP transport, to another node, or by ending it.

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto switchPollInterval = 250ms;
constexpr int switchPolls = 40;
constexpr auto failureRosterRefreshInterval = 60s;

const QString gaveUpText = QStringLiteral("failover gave up");
const QString unreachableSuggestionText = QStringLiteral("This network cannot reach this server.");

} // namespace

QString TessaronSession::nodeSwitchedBudgetNotice() {
    // The English text is the default; the message's key goes along for the translators' tables.
    //: Shown once after Tessaron switches away from a node whose monthly traffic budget is used up.
    static const QString notice = QCoreApplication::translate(
        "TessaronSession",
        "Tessaron switched to another server because this one has used up its traffic for the month.",
        "Node switched budget");
    return notice;
}

std::optional<QString> TessaronSession::savedConnectionName(const QUuid& id) const {
    const auto found = std::ranges::find(summaries_, id, &TessaronProfileSummary::id);
    return found == summaries_.end() ? std::nullopt : std::optional(found->name);
}

std::optional<FailoverCandidate> TessaronSession::currentFailoverCandidate() const {
    if (!selectedID_)
        return std::nullopt;
    return FailoverCandidate{*selectedID_, activeTransport_};
}

QList<FailoverCandidate> TessaronSession::failoverPlan() const {
    QList<QUuid> ids;
    for (const auto& summary : summaries_)
        ids.append(summary.id);
    QList<FailoverPlanner::Node> nodes;
    for (const auto& id :
         FailoverPlanner::orderedNodes(ids, latencies_, nodeHealth_, services_.clock.now())) {
        nodes.append({id, xhttpProfiles_.contains(id)});
    }
    return FailoverPlanner::candidates(nodes);
}

void TessaronSession::applyFailoverEvent(const FailoverPolicy::Event& event,
                                         std::optional<TessaronTransport> carrier) {
    if (isFailoverSwitching_)
        return;
    // A failing transport is tried again over XHTTP before the node is given up; that costs the node
    // nothing in the policy. Once XHTTP itself failed, the policy decides.
    if (event.countsAsFailure()) {
        if (auto current = currentFailoverCandidate()) {
            current->transport = carrier.value_or(current->transport);
            const auto next = FailoverPlanner::candidate(*current, failoverPlan());
            if (next && next->profileID == current->profileID &&
                next->transport == TessaronTransport::xhttp) {
                logFailoverSwitch(event, next->profileID, TessaronTransport::xhttp);
                beginFailoverSwitch(next->profileID, TessaronTransport::xhttp, std::nullopt);
                return;
            }
        }
    }
    // A node whose budget is used up is left even when the user picked it by hand.
    const bool paused = event.kind == FailoverPolicy::Event::Kind::paused;
    if (!paused && !autoSelect_)
        return;
    if (summaries_.size() < 2)
        return;

    const auto now = services_.clock.now();
    QList<QUuid> ids;
    for (const auto& summary : summaries_)
        ids.append(summary.id);
    const auto partition = NodeHealthOrder::partition(ids, nodeHealth_, now);
    const auto candidates = paused ? partition.kept : partition.kept + partition.demoted;
    // Nodes reported down or paused count as unmeasured.
    LatencyTable latencies;
    for (const auto& id : partition.kept) {
        if (const auto sample = latencies_.constFind(id); sample != latencies_.constEnd())
            latencies.insert(id, *sample);
    }
    const auto action = failover_.handle(event, now, candidates, latencies, nodeHealth_);
    switch (action.kind) {
    case FailoverPolicy::Action::Kind::switchTo: {
        const auto reason = paused ? std::optional(nodeSwitchedBudgetNotice()) : std::nullopt;
        logFailoverSwitch(event, action.target, TessaronTransport::tcp);
        beginFailoverSwitch(action.target, TessaronTransport::tcp, reason);
        return;
    }
    case FailoverPolicy::Action::Kind::none:
        return;
    case FailoverPolicy::Action::Kind::giveUp:
        log_.info(gaveUpText);
        services_.connectionLog.append(gaveUpText);
        autoDisconnect(gaveUpText);
        return;
    }
}

void TessaronSession::logFailoverSwitch(const FailoverPolicy::Event& event, const QUuid& target,
                                        TessaronTransport transport) {
    services_.connectionLog.append(
        QStringLiteral("failover: %1 \u2192 %2 (%3)")
            .arg(event.kindName(), savedConnectionName(target).value_or(QString()), rawValue(transport)));
}

void TessaronSession::beginFailoverSwitch(const QUuid& target, TessaronTransport transport,
                                          std::optional<QString> reason) {
    if (isFailoverSwitching_)
        return;
    const auto found = std::ranges::find(summaries_, target, &TessaronProfileSummary::id);
    if (found == summaries_.end())
        return;
    isFailoverSwitching_ = true;
    assign(switchingTo_, std::optional(*found), &TessaronSession::switchingToChanged);
    // The switch runs on its own, after the work that asked for it has finished.
    QMetaObject::invokeMethod(
        this,
        [this, target, transport, reason, intent = userLinkIntentGeneration_] {
            failoverSwitchTask_.start([self = QPointer(this), target, transport, reason,
                                       intent](CancellationToken cancellation) -> QCoro::Task<> {
                return self->performFailoverSwitch(target, transport, reason, intent, cancellation);
            });
        },
        Qt::QueuedConnection);
}

QCoro::Task<> TessaronSession::performFailoverSwitch(QUuid target, TessaronTransport transport,
                                                     std::optional<QString> reason, qint64 requestedIntent,
                                                     CancellationToken cancellation) {
    QPointer self(this);
    // A stop or a connect the user asks for while the switch runs is theirs to keep.
    if (userLinkIntentGeneration_ != requestedIntent) {
        endFailoverSwitch();
        co_return;
    }
    if (phase_ != TessaronLinkPhase::disconnected) {
        manualStopRequested_ = true;
        userStopTapped();
    }
    const auto intent = userLinkIntentGeneration_;
    for (int poll = 0; poll < switchPolls && phase_ != TessaronLinkPhase::disconnected; ++poll) {
        co_await services_.clock.sleep(switchPollInterval, cancellation);
        if (!self)
            co_return;
    }
    // A link that would not come down stays as it is.
    if (phase_ != TessaronLinkPhase::disconnected || userLinkIntentGeneration_ != intent) {
        endFailoverSwitch();
        co_return;
    }
    select(target);
    co_await startTunnelNow(transport, intent);
    if (!self)
        co_return;
    if (userLinkIntentGeneration_ != intent) {
        endFailoverSwitch();
        co_return;
    }
    if (const auto name = savedConnectionName(target))
        services_.connectionLog.append(QStringLiteral("switched to ") + *name);
    if (reason && lastError_.value_or(QString()).isEmpty())
        setLastError(reason);
    endFailoverSwitch();
}

void TessaronSession::endFailoverSwitch() {
    isFailoverSwitching_ = false;
    assign(switchingTo_, std::optional<TessaronProfileSummary>(), &TessaronSession::switchingToChanged);
}

void TessaronSession::handleConnectFailure(const std::exception& error,
                                           std::optional<TessaronTransport> carrier) {
    // A stop the user or a switch asked for is no failure of the node.
    if (manualStopRequested_ || isFailoverSwitching_)
        return;
    if (!selectedID_)
        return;
    const auto current = *selectedID_;
    const auto cause = failoverCause(error);
    std::optional<QUuid> suggestion;
    if (!autoSelect_ && cause != TessaronFailoverCause::other) {
        // The user chose this node; offer the fastest other one instead of moving on our own.
        const auto excluded = failover_.activeExclusions(services_.clock.now());
        std::optional<int> fastest;
        for (const auto& summary : summaries_) {
            const auto sample = latencies_.constFind(summary.id);
            if (summary.id == current || excluded.contains(summary.id) || sample == latencies_.constEnd())
                continue;
            if (!fastest || sample->milliseconds < *fastest) {
                fastest = sample->milliseconds;
                suggestion = summary.id;
            }
        }
        if (suggestion)
            setLastError(unreachableSuggestionText);
    }
    setSuggestedNodeID(suggestion);
    applyFailoverEvent(FailoverPolicy::Event::connectFailed(current, cause), carrier);
    refreshRosterAfterFailure();
}

void TessaronSession::refreshRosterAfterFailure() {
    if (!selectedID_)
        return;
    const auto id = *selectedID_;
    const auto source = rosterSource(id);
    if (!source)
        return;
    const auto now = services_.clock.now();
    const auto last = lastFailureRosterRefreshAt_.constFind(*source);
    if (last != lastFailureRosterRefreshAt_.constEnd() &&
        last->msecsTo(now) < std::chrono::milliseconds(failureRosterRefreshInterval).count())
        return;
    lastFailureRosterRefreshAt_.insert(*source, now);
    failureAdoptionWatch_.insert(id);
    pullRosterAfterFailure(this, *source, id);
}

QCoro::Task<> TessaronSession::pullRosterAfterFailure(QPointer<TessaronSession> self, QUuid source,
                                                      QUuid id) {
    if (!self)
        co_return;
    co_await self->pullRoster(source);
    if (self)
        self->failureAdoptionWatch_.remove(id);
}

std::optional<QUuid> TessaronSession::rosterSource(const QUuid& id) const {
    const auto table = managedProfiles_.loadManagedProfiles();
    const auto idText = uuidText(id);
    for (auto entry = table.cbegin(); entry != table.cend(); ++entry) {
        if (!entry.value().contains(idText, Qt::CaseInsensitive))
            continue;
        if (const auto source = uuidFromText(entry.key()))
            return source;
    }
    if (rosterSourceIDs().contains(id))
        return id;
    return std::nullopt;
}

// The automatic choice of node before a connect.

QCoro::Task<> TessaronSession::autoSelectForConnect() {
    QPointer self(this);
    if (!autoSelect_ || summaries_.size() < 2 || phase_ != TessaronLinkPhase::disconnected ||
        !consentGranted_)
        co_return;
    const auto current = selectedID_.value_or(summaries_.first().id);
    const auto now = services_.clock.now();
    QList<QUuid> ids;
    for (const auto& summary : summaries_)
        ids.append(summary.id);
    const auto partition = NodeHealthOrder::partition(ids, nodeHealth_, now);
    // When every node is down or paused, all of them are tried after all.
    const auto candidates = partition.kept.isEmpty() ? ids : partition.kept;
    const auto excluded = failover_.activeExclusions(now);
    const bool someoneUnmeasured = std::ranges::any_of(
        candidates, [&](const QUuid& id) { return !excluded.contains(id) && !latencies_.contains(id); });
    if (someoneUnmeasured) {
        const auto selectionBefore = selectedID_;
        co_await services_.latencyMonitor.measureAll(2s);
        if (!self)
            co_return;
        assign(latencies_, services_.latencyMonitor.samples(), &TessaronSession::latenciesChanged);
        // While the nodes were measured the user may have turned the choice off, picked a node or
        // connected; the pick would overrule them.
        if (!autoSelect_ || phase_ != TessaronLinkPhase::disconnected || selectedID_ != selectionBefore)
            co_return;
    }
    const bool keepCurrent = partition.kept.contains(current) || partition.kept.isEmpty();
    const auto fallback = keepCurrent ? current : partition.kept.first();
    const auto pick = LoadAwarePick::pick(candidates, latencies_, nodeHealth_, excluded, fallback);
    if (!partition.demoted.isEmpty())
        logSkippedDownNodes(now);
    logAutoPick(pick, excluded.size());
    if (selectedID_ != pick)
        select(pick);
}

void TessaronSession::logSkippedDownNodes(const QDateTime& now) {
    for (const auto& summary : summaries_) {
        if (!isReportedDown(summary.id, now))
            continue;
        const auto minutes = std::max<qint64>(nodeHealth_.value(summary.id).checkedAt.secsTo(now) / 60, 1);
        const auto text = QStringLiteral("auto-select: skipped %1 (reported down %2 min ago)")
                              .arg(summary.name, QString::number(minutes));
        log_.info(text);
        services_.connectionLog.append(text);
    }
}

void TessaronSession::logAutoPick(const QUuid& pick, qsizetype excludedCount) {
    services_.connectionLog.append(QStringLiteral("auto pick: %1 samples=%2 excluded=%3")
                                       .arg(savedConnectionName(pick).value_or(QString()),
                                            QString::number(summaries_.size()),
                                            QString::number(excludedCount)));
}

// What the node list shows.

NodeLinkStatus TessaronSession::linkStatus(const QUuid& id) const {
    return nodeLinkStatus(id, latencies_, nodeHealth_, services_.clock.now());
}

bool TessaronSession::isReportedDown(const QUuid& id, const QDateTime& now) const {
    return NodeHealthOrder::isReportedDown(nodeHealth_, id, now);
}

} // namespace tessaron
