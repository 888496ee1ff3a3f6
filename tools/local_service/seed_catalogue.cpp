#include "seed_catalogue.hpp"

#include <QCryptographicHash>
#include <QJsonObject>

#include <array>

namespace tessaron::local_service {

namespace {

using Purpose = TessaronNodeGeo::Purpose;

// Names the service's stable ids: the same node gets the same profile id in every run.
const QUuid idNamespace(QStringLiteral("{6f2b7c1e-3d4a-4f5b-9c8d-1e2f3a4b5c6d}"));

struct NodeSeed {
    const char* name;
    // Short name that makes the node's ids, keys and TLS server name.
    const char* tag;
    const char* address;
    const char* country;
    double lat;
    double lon;
    Purpose purpose;
    bool reality;
    bool xhttp;
    NodeCondition condition;
};

struct GroupSeed {
    const char* name;
    std::array<NodeSeed, 3> nodes;
    qint64 usedGigabytes;
    qint64 capGigabytes;
};

constexpr qint64 gigabyte = 1'000'000'000;

// One node of the first group is paused and one busy, and its usage is past the warning mark, so a client
// that redeems the first code has each state to show. The last group is the account's.
const std::array<GroupSeed, 3> groupSeeds{{
    {"Europe",
     {{
         {"Amsterdam", "ams", "127.0.0.2", "NL", 52.37, 4.90, Purpose::exit, true, true, {.load = 0.31}},
         {"Frankfurt", "fra", "127.0.0.3", "DE", 50.11, 8.68, Purpose::exit, false, false,
          {.busy = true, .load = 0.96}},
         {"Stockholm", "sto", "127.0.0.4", "SE", 59.33, 18.07, Purpose::exit, false, false,
          {.paused = true, .load = 0.12}},
     }},
     86,
     100},
    {"Americas",
     {{
         {"Toronto", "yyz", "127.0.0.5", "CA", 43.65, -79.38, Purpose::exit, true, false, {.load = 0.44}},
         {"New York", "nyc", "127.0.0.6", "US", 40.71, -74.01, Purpose::exit, false, true, {.load = 0.58}},
         {"São Paulo", "gru", "127.0.0.7", "BR", -23.55, -46.63, Purpose::exit, false, false, {.load = 0.22}},
     }},
     12,
     100},
    {"Account",
     {{
         {"Singapore", "sin", "127.0.0.8", "SG", 1.35, 103.82, Purpose::exit, true, true, {.load = 0.27}},
         {"Tokyo", "tyo", "127.0.0.9", "JP", 35.68, 139.69, Purpose::exit, false, false, {.load = 0.63}},
         {"Zürich home", "zrh", "127.0.0.10", "CH", 47.37, 8.54, Purpose::homebound, false, false,
          {.load = 0.05}},
     }},
     40,
     200},
}};

QUuid stableID(const QString& name) {
    return QUuid::createUuidV5(idNamespace, name);
}

QByteArray digestOf(const QString& name) {
    return QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256);
}

QJsonObject profileObject(const NodeSeed& seed, int port) {
    const QString tag = QString::fromLatin1(seed.tag);
    const QString serverName = tag + QStringLiteral(".nodes.tessaron.test");
    QJsonObject profile{
        {QStringLiteral("version"), 1},
        {QStringLiteral("id"), stableID(QStringLiteral("node:") + tag).toString(QUuid::WithoutBraces)},
        {QStringLiteral("name"), QString::fromUtf8(seed.name)},
        {QStringLiteral("server"), QString::fromLatin1(seed.address)},
        {QStringLiteral("port"), port},
        {QStringLiteral("userID"), stableID(QStringLiteral("user:") + tag).toString(QUuid::WithoutBraces)},
        {QStringLiteral("serverName"), serverName},
        {QStringLiteral("fingerprint"), QStringLiteral("chrome")},
        {QStringLiteral("flow"), QStringLiteral("xtls-rprx-vision")},
    };
    if (seed.reality) {
        profile.insert(QStringLiteral("security"), QStringLiteral("reality"));
        const QByteArray key = digestOf(QStringLiteral("key:") + tag);
        profile.insert(QStringLiteral("publicKey"),
                       QString::fromLatin1(key.toBase64(QByteArray::Base64UrlEncoding |
                                                        QByteArray::OmitTrailingEquals)));
        profile.insert(QStringLiteral("shortID"), QString::fromLatin1(key.left(4).toHex()));
    } else {
        profile.insert(QStringLiteral("security"), QStringLiteral("tls"));
    }
    if (seed.xhttp) {
        profile.insert(QStringLiteral("xhttp"), QJsonObject{{QStringLiteral("path"), QStringLiteral("/xhttp")},
                                                            {QStringLiteral("serverName"), serverName}});
    }
    return profile;
}

SeedNode nodeOf(const NodeSeed& seed, int port) {
    // Going through the validating decoder keeps the seeds honest: a bad one stops the service at start.
    return {
        .profile = TessaronProfile::fromJSON(profileObject(seed, port)),
        .condition = seed.condition,
        .geo = {.country = QString::fromLatin1(seed.country),
                .lat = seed.lat,
                .lon = seed.lon,
                .purpose = seed.purpose},
    };
}

} // namespace

QList<TessaronProfile> NodeGroup::managedProfiles() const {
    QList<TessaronProfile> profiles;
    for (qsizetype i = 1; i < nodes.size(); ++i)
        profiles.append(nodes[i].profile);
    return profiles;
}

SeedCatalogue::SeedCatalogue(int nodePort)
    : nodePort_(nodePort)
    , invitations_{
          {.code = "dev-europe-Q7mZ2vK9xL4pT8wN3rB6yD1sHc5f", .group = 0},
          {.code = "dev-americas-W2nJ8kR4tV6zX1cB9mQ5pL3hF7g", .group = 1},
          {.code = "dev-used-up-A5dG8jK2mP4rT6vY9bN1cX3zQ7w", .group = 1, .usedUp = true},
      } {
    for (const GroupSeed& seed : groupSeeds) {
        NodeGroup group{.name = QString::fromLatin1(seed.name),
                        .nodes = {},
                        .usedBytes = seed.usedGigabytes * gigabyte,
                        .capBytes = seed.capGigabytes * gigabyte};
        for (const NodeSeed& node : seed.nodes)
            group.nodes.append(nodeOf(node, nodePort));
        groups_.append(group);
    }
}

const NodeGroup* SeedCatalogue::groupOf(const QUuid& profileID) const {
    for (const NodeGroup& group : groups_) {
        for (const SeedNode& node : group.nodes) {
            if (node.profile.id == profileID)
                return &group;
        }
    }
    return nullptr;
}

std::vector<std::string> SeedCatalogue::nodeAddresses() const {
    std::vector<std::string> addresses;
    for (const NodeGroup& group : groups_) {
        for (const SeedNode& node : group.nodes)
            addresses.push_back(node.profile.server.toStdString());
    }
    return addresses;
}

QDateTime startOfNextMonth(const QDateTime& now) {
    const QDate today = now.toUTC().date();
    return QDateTime(QDate(today.year(), today.month(), 1).addMonths(1), QTime(0, 0), Qt::UTC);
}

} // namespace tessaron::local_service
