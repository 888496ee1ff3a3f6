#include "seed_catalogue.hpp"

#include <QCryptographicHash>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>

namespace tessaron::local_service {

namespace {

using Purpose = TessaronNodeGeo::Purpose;
using Security = TessaronProfile::Security;

// Names the service's stable ids: the same node gets the same profile id in every run.
const QUuid idNamespace(QStringLiteral("{6f2b7c1e-3d4a-4f5b-9c8d-1e2f3a4b5c6d}"));

struct NodeSeed {
    const char* name;
    // Short name that makes the node's ids, keys and TLS server name.
    const char* tag;
    const char* country;
    double lat;
    double lon;
    Purpose purpose;
    Security security;
    bool xhttp;
    NodeCondition condition;
};

constexpr bool withXhttp = true;
constexpr bool tcpOnly = false;

constexpr NodeCondition running(double load) {
    return {.load = load};
}
constexpr NodeCondition crowded(double load) {
    return {.busy = true, .load = load};
}
constexpr NodeCondition outOfBudget(double load) {
    return {.paused = true, .load = load};
}

struct GroupSeed {
    const char* name;
    std::array<NodeSeed, 3> nodes;
    qint64 usedGigabytes;
    qint64 capGigabytes;
};

constexpr qint64 gigabyte = 1'000'000'000;

// One node of the first group is paused and one busy, and its usage is past the warning mark, so a client
// that redeems the first code has each state to show. The last group is the account's. The nodes take the
// loopback addresses from 127.0.0.2 on, in this order.
const std::array<GroupSeed, 4> groupSeeds{{
    {"Europe",
     {{
         {"Amsterdam", "ams", "NL", 52.37, 4.90, Purpose::exit, Security::reality, withXhttp, running(0.31)},
         {"Frankfurt", "fra", "DE", 50.11, 8.68, Purpose::exit, Security::tls, tcpOnly, crowded(0.96)},
         {"Stockholm", "sto", "SE", 59.33, 18.07, Purpose::exit, Security::tls, tcpOnly, outOfBudget(0.12)},
     }},
     86,
     100},
    {"Americas",
     {{
         {"Toronto", "yyz", "CA", 43.65, -79.38, Purpose::exit, Security::reality, tcpOnly, running(0.44)},
         {"New York", "nyc", "US", 40.71, -74.01, Purpose::exit, Security::tls, withXhttp, running(0.58)},
         {"São Paulo", "gru", "BR", -23.55, -46.63, Purpose::exit, Security::tls, tcpOnly, running(0.22)},
     }},
     12,
     100},
    // Names at the length a person may give a connection, to show how the screens fit them.
    {"Long names",
     {{
         {"Amsterdam Backup Node Number Forty Chars", "ams2", "NL", 52.37, 4.90, Purpose::exit, Security::tls,
          tcpOnly, running(0.35)},
         {"Rotterdam Harbour Relay With A Long Title", "rtm", "NL", 51.92, 4.48, Purpose::exit, Security::tls,
          tcpOnly, running(0.41)},
         {"Utrecht Station Node Named At Full Length", "utc", "NL", 52.09, 5.12, Purpose::exit, Security::tls,
          tcpOnly, running(0.18)},
     }},
     5,
     100},
    {"Account",
     {{
         {"Singapore", "sin", "SG", 1.35, 103.82, Purpose::exit, Security::reality, withXhttp, running(0.27)},
         {"Tokyo", "tyo", "JP", 35.68, 139.69, Purpose::exit, Security::tls, tcpOnly, running(0.63)},
         {"Zürich home", "zrh", "CH", 47.37, 8.54, Purpose::homebound, Security::tls, tcpOnly, running(0.05)},
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

QJsonObject profileObject(const NodeSeed& seed, const QString& address, int port) {
    const QString tag = QString::fromLatin1(seed.tag);
    const QString serverName = tag + QStringLiteral(".nodes.tessaron.test");
    QJsonObject profile{
        {QStringLiteral("version"), 1},
        {QStringLiteral("id"), stableID(QStringLiteral("node:") + tag).toString(QUuid::WithoutBraces)},
        {QStringLiteral("name"), QString::fromUtf8(seed.name)},
        {QStringLiteral("server"), address},
        {QStringLiteral("port"), port},
        {QStringLiteral("userID"), stableID(QStringLiteral("user:") + tag).toString(QUuid::WithoutBraces)},
        {QStringLiteral("serverName"), serverName},
        {QStringLiteral("fingerprint"), QStringLiteral("chrome")},
        {QStringLiteral("flow"), QStringLiteral("xtls-rprx-vision")},
    };
    if (seed.security == Security::reality) {
        profile.insert(QStringLiteral("security"), QStringLiteral("reality"));
        const QByteArray key = digestOf(QStringLiteral("key:") + tag);
        profile.insert(QStringLiteral("publicKey"),
                       QString::fromLatin1(
                           key.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)));
        profile.insert(QStringLiteral("shortID"), QString::fromLatin1(key.left(4).toHex()));
    } else {
        profile.insert(QStringLiteral("security"), QStringLiteral("tls"));
    }
    if (seed.xhttp) {
        profile.insert(QStringLiteral("xhttp"),
                       QJsonObject{{QStringLiteral("path"), QStringLiteral("/xhttp")},
                                   {QStringLiteral("serverName"), serverName}});
    }
    return profile;
}

SeedNode nodeOf(const NodeSeed& seed, const QString& address, int port) {
    // Going through the validating decoder keeps the seeds honest: a bad one stops the service at start.
    return {
        .profile = TessaronProfile::fromJSON(profileObject(seed, address, port)),
        .condition = seed.condition,
        .geo = {.country = QString::fromLatin1(seed.country),
                .lat = seed.lat,
                .lon = seed.lon,
                .purpose = seed.purpose},
    };
}

// Extra nodes take 127.1.0.1 and up, 250 to a third byte, clear of the fixed nodes' addresses.
QString extraNodeAddress(int index) {
    return QStringLiteral("127.1.%1.%2").arg(index / 250).arg(index % 250 + 1);
}

// The fixed nodes' places, taken in turn and a little apart each round (twenty rounds, then again), so
// that extra nodes spread over the globe rather than stacking on one dot.
constexpr std::array<std::tuple<const char*, double, double>, 6> extraNodePlaces{{
    {"NL", 52.37, 4.90},
    {"US", 40.71, -74.01},
    {"BR", -23.55, -46.63},
    {"SG", 1.35, 103.82},
    {"JP", 35.68, 139.69},
    {"DE", 50.11, 8.68},
}};

// Two decimals, so that the roster's JSON spends no bytes on a sum's rounding error.
double hundredths(double value) {
    return std::round(value * 100) / 100;
}

// Short names and round figures: a roster of 130 nodes must stay under the client's cap on a reply.
SeedNode extraNode(int index, int port) {
    const auto& [country, lat, lon] =
        extraNodePlaces[static_cast<std::size_t>(index) % extraNodePlaces.size()];
    const double shift = 0.3 * (index / static_cast<int>(extraNodePlaces.size()) % 20);
    const std::string name = "Node " + std::to_string(index + 1);
    const std::string tag = "x" + std::to_string(index + 1);
    const NodeSeed seed{
        name.c_str(),  tag.c_str(),   country, hundredths(lat + shift),        hundredths(lon + shift),
        Purpose::exit, Security::tls, tcpOnly, running((index % 9 + 1) / 10.0)};
    return nodeOf(seed, extraNodeAddress(index), port);
}

} // namespace

QList<TessaronProfile> NodeGroup::managedProfiles() const {
    QList<TessaronProfile> profiles;
    for (qsizetype i = 1; i < nodes.size(); ++i)
        profiles.append(nodes[i].profile);
    return profiles;
}

SeedCatalogue::SeedCatalogue(int nodePort, int extraAccountNodes)
    : nodePort_(nodePort)
    , invitations_{
          {.code = "dev-europe-Q7mZ2vK9xL4pT8wN3rB6yD1sHc5f", .group = 0},
          {.code = "dev-americas-W2nJ8kR4tV6zX1cB9mQ5pL3hF7g", .group = 1},
          {.code = "dev-used-up-A5dG8jK2mP4rT6vY9bN1cX3zQ7w", .group = 1, .usedUp = true},
          {.code = "dev-long-names-R8kT3wQ6zN1vB5xM9pL2cJ7h", .group = 2},
      } {
    int lastAddressByte = 1;
    for (const GroupSeed& seed : groupSeeds) {
        NodeGroup group{.name = QString::fromLatin1(seed.name),
                        .nodes = {},
                        .usedBytes = seed.usedGigabytes * gigabyte,
                        .capBytes = seed.capGigabytes * gigabyte};
        for (const NodeSeed& node : seed.nodes) {
            const QString address = QStringLiteral("127.0.0.%1").arg(++lastAddressByte);
            group.nodes.append(nodeOf(node, address, nodePort));
        }
        groups_.append(group);
    }
    const int extras = std::clamp(extraAccountNodes, 0, maximumExtraAccountNodes);
    for (int index = 0; index < extras; ++index)
        groups_.back().nodes.append(extraNode(index, nodePort));
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
