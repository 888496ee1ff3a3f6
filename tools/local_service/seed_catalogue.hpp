#pragma once

#include "profiles/node_records.hpp"
#include "profiles/profile.hpp"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <string>
#include <vector>

namespace tessaron::local_service {

// What the service says about a node's state; the check time is stamped when a roster is served.
struct NodeCondition {
    bool up = true;
    bool paused = false;
    bool busy = false;
    double load = 0;
};

// One node the service plays: the profile a client connects with, its state and its place.
struct SeedNode {
    TessaronProfile profile;
    NodeCondition condition;
    TessaronNodeGeo geo;
};

// A primary node and the nodes it manages, handed out together by one invitation or one account grant.
struct NodeGroup {
    QString name;
    // The primary node first.
    QList<SeedNode> nodes;
    // The group's traffic this month.
    qint64 usedBytes = 0;
    qint64 capBytes = 0;

    const TessaronProfile& primary() const { return nodes.front().profile; }
    QList<TessaronProfile> managedProfiles() const;
};

struct SeedInvitation {
    std::string code;
    qsizetype group = 0;
    // An invitation that another installation redeemed before the service started, to show the refusal.
    bool usedUp = false;
};

// The fixed nodes, groups and invitation codes of the service. Ids, codes and keys stay the same from one
// run to the next, so a client keeps what it stored; only the port follows the service's own.
class SeedCatalogue {
public:
    SeedCatalogue() = default;
    // Every node listens on `nodePort` of its own loopback address. `extraAccountNodes` more managed nodes
    // join the account's group (at most maximumExtraAccountNodes), to see the client with a long list.
    explicit SeedCatalogue(int nodePort, int extraAccountNodes = 0);

    static constexpr int maximumExtraAccountNodes = 1000;

    const QList<NodeGroup>& groups() const { return groups_; }
    const std::vector<SeedInvitation>& invitations() const { return invitations_; }
    // The group whose profiles an account's active grant gives.
    const NodeGroup& accountGroup() const { return groups_.back(); }
    // The group that holds the profile, or none.
    const NodeGroup* groupOf(const QUuid& profileID) const;

    std::vector<std::string> nodeAddresses() const;
    int nodePort() const { return nodePort_; }

private:
    int nodePort_ = 0;
    QList<NodeGroup> groups_;
    std::vector<SeedInvitation> invitations_;
};

// The first instant of the month after `now`, in UTC: when paused nodes resume and usage starts again.
QDateTime startOfNextMonth(const QDateTime& now);

} // namespace tessaron::local_service
