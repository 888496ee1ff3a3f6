#include "session/tessaron_session.hpp"

#include "profiles/json_values.hpp"
#include "profiles/pairing_error.hpp"
#include "session/node_tables.hpp"
#include "session/session_keys.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto connectedPullInterval = 300s;

const QString oversizedRosterText =
    QStringLiteral("This invitation lists more servers than Tessaron can load, so some are not shown.");

QString stampKey(const QUuid& id) {
    return session_keys::profilesRefreshedAtPrefix + uuidText(id);
}

template <typename Record> std::optional<Record> decodedOrNone(const QJsonValue& value) {
    try {
        return Record::fromJSON(value);
    } catch (const TessaronError&) {
        return std::nullopt;
    }
}

bool linkCarriesTraffic(TessaronLinkPhase phase) {
    return phase == TessaronLinkPhase::connected || phase == TessaronLinkPhase::checkFailed;
}

} // namespace

QList<QUuid> TessaronSession::rosterSourceIDs() const {
    QSet<QUuid> managedByOthers;
    for (const auto& summary : summaries_) {
        for (const auto& managed : managedProfiles_.managedProfileIDs(summary.id)) {
            if (managed != summary.id)
                managedByOthers.insert(managed);
        }
    }
    QList<QUuid> sources;
    for (const auto& summary : summaries_) {
        if (!managedByOthers.contains(summary.id))
            sources.append(summary.id);
    }
    return sources;
}

QCoro::Task<> TessaronSession::fetchRosterIfAlive(QPointer<TessaronSession> self, QUuid profileID) {
    if (self)
        co_await self->fetchRoster(profileID);
}

QCoro::Task<> TessaronSession::pullRoster(QUuid profileID) {
    TessaronPullCoalescer::Pull pull = [self = QPointer(this), profileID] {
        return fetchRosterIfAlive(self, profileID);
    };
    co_await rosterPulls_.run(profileID, std::move(pull));
}

QCoro::Task<> TessaronSession::fetchRoster(QUuid profileID) {
    QPointer self(this);
    std::optional<TessaronRosterResponse> reply;
    std::optional<PlatformError> failure;
    bool sourceUnknown = false;
    bool tooLarge = false;
    try {
        const auto client = services_.pairingClient();
        const auto installation = co_await services_.keychain.run(services_.installationID);
        if (!self)
            co_return;
        reply = co_await client.roster(profileID, installation);
    } catch (const TessaronPairingError& error) {
        sourceUnknown = error.kind() == TessaronPairingErrorKind::profileUnknown;
        tooLarge = error.isReplyTooLarge();
        failure = PlatformError::from(error);
    } catch (const TessaronError& error) {
        failure = PlatformError::from(error);
    }
    if (!self)
        co_return;
    if (reply) {
        failedRosterPulls_.remove(profileID);
        co_await adoptRoster(profileID, *reply);
        co_return;
    }
    failedRosterPulls_.insert(profileID);
    if (sourceUnknown) {
        co_await forgetSource(profileID);
        co_return;
    }
    if (tooLarge) {
        refuseOversizedRoster();
        co_return;
    }
    services_.connectionLog.append(QStringLiteral("roster refresh: failed %1 %2")
                                       .arg(failure->domain(), QString::number(failure->code())));
}

void TessaronSession::refuseOversizedRoster() {
    services_.connectionLog.append(QStringLiteral("roster refresh: refused, reply larger than %1 bytes")
                                       .arg(TessaronPairingClient::maximumReplyBytes));
    // The list keeps what it had; the person learns why nodes are missing, unless something more pressing
    // is shown.
    if (lastError_.value_or(QString()).isEmpty())
        setLastError(oversizedRosterText);
}

QCoro::Task<> TessaronSession::adoptRoster(QUuid sourceID, TessaronRosterResponse reply) {
    QPointer self(this);
    try {
        auto write = [store = services_.keychainStore, profiles = reply.profiles] {
            store.storeChangedProfiles(profiles);
        };
        co_await services_.keychain.run(std::move(write));
    } catch (const TessaronError& error) {
        if (self)
            services_.connectionLog.append(QStringLiteral("roster refresh: failed %1 %2")
                                               .arg(error.domain(), QString::number(error.code())));
        co_return;
    }
    if (!self)
        co_return;
    const auto previouslyManaged = managedProfiles_.managedProfileIDs(sourceID);
    // The tables are adopted with the managed list as it was, so that nodes the reply dropped lose their
    // entries too.
    const auto tables = adoptRosterNodeTables({nodeHealth_, nodeGeo_}, reply, sourceID, previouslyManaged);
    assign(nodeHealth_, tables.health, &TessaronSession::nodeHealthChanged);
    assign(nodeGeo_, tables.geo, &TessaronSession::nodeGeoChanged);

    QList<QUuid> managed;
    for (const auto& profile : reply.profiles) {
        if (profile.id != sourceID)
            managed.append(profile.id);
    }
    managedProfiles_.setManagedProfileIDs(managed, sourceID);
    if (reply.clientGeo)
        assign(clientGeo_, reply.clientGeo, &TessaronSession::clientGeoChanged);
    if (reply.usage)
        assign(dataUsage_, reply.usage, &TessaronSession::dataUsageChanged);
    storeGeography();
    services_.preferences.setValue(stampKey(sourceID), services_.clock.now());
    rereadListing();

    // A connection the roster lists again is no longer due for removal.
    removalsAfterLink_.remove(sourceID);
    for (const auto& id : managed)
        removalsAfterLink_.remove(id);
    for (const auto& id : previouslyManaged) {
        if (id == sourceID || managed.contains(id))
            continue;
        co_await removeManagedConnection(id);
        if (!self)
            co_return;
    }
    checkPausedSelection();
}

QCoro::Task<> TessaronSession::forgetSource(QUuid sourceID) {
    QPointer self(this);
    QList<QUuid> stored;
    for (const auto& id : QList<QUuid>{sourceID} + managedProfiles_.managedProfileIDs(sourceID)) {
        if (std::ranges::find(summaries_, id, &TessaronProfileSummary::id) != summaries_.end() &&
            !stored.contains(id))
            stored.append(id);
    }
    log_.info(
        QStringLiteral("server no longer knows a stored primary; removing %1 profiles").arg(stored.size()));
    managedProfiles_.removeManagedProfiles(sourceID);
    services_.preferences.remove(stampKey(sourceID));
    for (const auto& id : stored) {
        co_await removeManagedConnection(id);
        if (!self)
            co_return;
    }
}

QCoro::Task<> TessaronSession::removeManagedConnection(QUuid id) {
    // The user never asked for this removal: a connection that carries the link is left alone silently and
    // goes once the link has ended.
    if (phase_ != TessaronLinkPhase::disconnected && selectedID_ == id) {
        removalsAfterLink_.insert(id);
        co_return;
    }
    removalsAfterLink_.remove(id);
    co_await removeSavedConnection(id);
}

QCoro::Task<> TessaronSession::removeDeferredConnections() {
    QPointer self(this);
    for (const auto& id : std::exchange(removalsAfterLink_, {})) {
        co_await removeManagedConnection(id);
        if (!self)
            co_return;
    }
}

void TessaronSession::checkPausedSelection() {
    if (!linkCarriesTraffic(phase_) || isFailoverSwitching_ || summaries_.size() < 2 || !selectedID_)
        return;
    const auto health = nodeHealth_.constFind(*selectedID_);
    if (health != nodeHealth_.constEnd() && health->paused)
        applyFailoverEvent(FailoverPolicy::Event::paused(*selectedID_));
}

void TessaronSession::pullRosterAfterDisconnect() {
    const auto sources = rosterSourceIDs();
    if (sources.isEmpty())
        return;
    const auto id = selectedID_ && sources.contains(*selectedID_) ? *selectedID_ : sources.first();
    pullRoster(id);
}

void TessaronSession::pullRosterWhileConnected(const QDateTime& now) {
    if (!linkCarriesTraffic(phase_) || connectedRosterPullInFlight_)
        return;
    const bool due =
        !lastConnectedRosterPull_ ||
        lastConnectedRosterPull_->msecsTo(now) >= std::chrono::milliseconds(connectedPullInterval).count();
    QList<QUuid> ids;
    if (due) {
        lastConnectedRosterPull_ = now;
        ids = rosterSourceIDs();
    } else {
        // A pull that failed in the last round is tried once more at the next poll, not five minutes later.
        const auto sources = rosterSourceIDs();
        for (const auto& id : std::exchange(connectedRosterRetryIDs_, {})) {
            if (sources.contains(id))
                ids.append(id);
        }
    }
    if (ids.isEmpty())
        return;
    connectedRosterPullInFlight_ = true;
    const auto generation = connectedRosterPullGeneration_;
    connectedRosterPullTask_.start(
        [self = QPointer(this), generation, ids, due](CancellationToken cancellation) -> QCoro::Task<> {
            return self->pullConnectedRosters(generation, ids, due, cancellation);
        });
}

QCoro::Task<> TessaronSession::pullConnectedRosters(qint64 generation, QList<QUuid> ids, bool retryFailures,
                                                    CancellationToken cancellation) {
    QPointer self(this);
    QSet<QUuid> failed;
    for (const auto& id : ids) {
        co_await pullRoster(id);
        if (!self || cancellation.isCancelled())
            co_return;
        if (failedRosterPulls_.contains(id))
            failed.insert(id);
    }
    // A round that the end of the link superseded records nothing.
    if (generation != connectedRosterPullGeneration_)
        co_return;
    connectedRosterPullInFlight_ = false;
    if (retryFailures)
        connectedRosterRetryIDs_ = failed;
}

QCoro::Task<> TessaronSession::refreshStaleProfiles() {
    QPointer self(this);
    for (const auto& id : rosterSourceIDs()) {
        if (!isStale(id))
            continue;
        co_await pullRoster(id);
        if (!self)
            co_return;
    }
}

// Geography.

void TessaronSession::storeGeography() {
    QJsonObject nodes;
    for (auto entry = nodeGeo_.cbegin(); entry != nodeGeo_.cend(); ++entry)
        nodes.insert(uuidText(entry.key()), entry.value().toJSON());
    services_.preferences.setValue(session_keys::rosterGeo,
                                   QJsonDocument(nodes).toJson(QJsonDocument::Compact));
    if (clientGeo_)
        services_.preferences.setValue(session_keys::clientGeo,
                                       QJsonDocument(clientGeo_->toJSON()).toJson(QJsonDocument::Compact));
}

void TessaronSession::restoreGeography() {
    // Unreadable stored geography is simply not shown.
    if (const auto data = services_.preferences.data(session_keys::rosterGeo)) {
        NodeGeoTable nodes;
        const auto object = QJsonDocument::fromJson(*data).object();
        for (auto entry = object.begin(); entry != object.end(); ++entry) {
            const auto id = uuidFromText(entry.key());
            const auto geo = decodedOrNone<TessaronNodeGeo>(entry.value());
            if (id && geo)
                nodes.insert(*id, *geo);
        }
        assign(nodeGeo_, std::move(nodes), &TessaronSession::nodeGeoChanged);
    }
    if (const auto data = services_.preferences.data(session_keys::clientGeo))
        assign(clientGeo_, decodedOrNone<TessaronClientGeo>(QJsonDocument::fromJson(*data).object()),
               &TessaronSession::clientGeoChanged);
}

void TessaronSession::clearGeoData() {
    assign(nodeGeo_, NodeGeoTable{}, &TessaronSession::nodeGeoChanged);
    assign(clientGeo_, std::optional<TessaronClientGeo>(), &TessaronSession::clientGeoChanged);
    services_.preferences.remove(session_keys::rosterGeo);
    services_.preferences.remove(session_keys::clientGeo);
}

} // namespace tessaron
