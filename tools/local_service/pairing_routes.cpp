#include "pairing_routes.hpp"

#include "service_reply.hpp"

#include "platform/system_clock.hpp"
#include "profiles/pairing_replies.hpp"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace tessaron::local_service {

namespace {

const QString consentVersion = QStringLiteral("tessaron-access-v1");

// Where the service places every client.
const TessaronClientGeo clientGeo{
    .country = QStringLiteral("DE"), .city = QStringLiteral("Berlin"), .lat = 52.52, .lon = 13.40};

// Which installation holds which code. A code belongs to the first installation that redeems it; that one
// may redeem it again, so a retry after a lost reply gets the same profiles instead of a refusal.
class InvitationLedger {
public:
    enum class Outcome { redeemed, unknown, usedUp };
    struct Result {
        Outcome outcome;
        qsizetype group = 0;
    };

    explicit InvitationLedger(const std::vector<SeedInvitation>& invitations) {
        for (const SeedInvitation& invitation : invitations) {
            entries_[invitation.code] = {.group = invitation.group,
                                         .holder = invitation.usedUp ? std::optional(QUuid::createUuid())
                                                                     : std::nullopt};
        }
    }

    Result redeem(const std::string& code, const QUuid& installationID) {
        const std::lock_guard lock(mutex_);
        const auto entry = entries_.find(code);
        if (entry == entries_.end())
            return {Outcome::unknown};
        Entry& invitation = entry->second;
        if (invitation.holder && *invitation.holder != installationID)
            return {Outcome::usedUp};
        invitation.holder = installationID;
        return {Outcome::redeemed, invitation.group};
    }

private:
    struct Entry {
        qsizetype group = 0;
        std::optional<QUuid> holder;
    };

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

TessaronNodeHealth healthOf(const NodeCondition& condition, const QDateTime& now) {
    return {
        .up = condition.up,
        .checkedAt = now,
        .paused = condition.paused,
        .resumesAt = condition.paused ? std::optional(startOfNextMonth(now)) : std::nullopt,
        .load = condition.load,
        .busy = condition.busy,
    };
}

TessaronRosterResponse rosterOf(const NodeGroup& group, const QDateTime& now) {
    TessaronRosterResponse roster;
    for (const SeedNode& node : group.nodes) {
        roster.profiles.append(node.profile);
        roster.health.insert(node.profile.id, healthOf(node.condition, now));
        roster.geo.insert(node.profile.id, node.geo);
    }
    roster.usage = TessaronDataUsage{
        .usedBytes = group.usedBytes, .capBytes = group.capBytes, .resetsAt = startOfNextMonth(now)};
    roster.clientGeo = clientGeo;
    return roster;
}

ServiceReply redeem(const QJsonObject& body, InvitationLedger& ledger, const SeedCatalogue& seeds) {
    const auto code = textField(body, QStringLiteral("code"));
    const auto redemptionID = uuidField(body, QStringLiteral("redemptionID"));
    const auto installationID = uuidField(body, QStringLiteral("installationID"));
    const auto consent = textField(body, QStringLiteral("consentVersion"));
    if (!code || !redemptionID || !installationID || !consent)
        return ServiceReply::refusal(400, QStringLiteral("invalid_request"));
    if (*consent != consentVersion)
        return ServiceReply::refusal(403, QStringLiteral("invalid_consent"));

    const auto result = ledger.redeem(code->toStdString(), *installationID);
    switch (result.outcome) {
    case InvitationLedger::Outcome::unknown:
        return ServiceReply::refusal(410, QStringLiteral("invitation_unknown"));
    case InvitationLedger::Outcome::usedUp:
        return ServiceReply::refusal(410, QStringLiteral("invitation_used"));
    case InvitationLedger::Outcome::redeemed:
        break;
    }
    const NodeGroup& group = seeds.groups()[result.group];
    return ServiceReply::ok(TessaronRedeemResult{group.primary(), group.managedProfiles()}.toJSON());
}

ServiceReply roster(const QJsonObject& body, const SeedCatalogue& seeds, const QDateTime& now) {
    const auto profileID = uuidField(body, QStringLiteral("profileID"));
    if (!profileID || !uuidField(body, QStringLiteral("installationID")))
        return ServiceReply::refusal(400, QStringLiteral("invalid_request"));
    // Any profile of a group answers for the whole group.
    const NodeGroup* group = seeds.groupOf(*profileID);
    if (!group)
        return ServiceReply::refusal(404, QStringLiteral("profile_unknown"));
    return ServiceReply::ok(rosterOf(*group, now).toJSON());
}

void printInvitationCodes(const SeedCatalogue& seeds) {
    for (const SeedInvitation& invitation : seeds.invitations()) {
        const NodeGroup& group = seeds.groups()[invitation.group];
        if (invitation.usedUp) {
            std::printf("invitation code already used elsewhere (answers 410): %s\n",
                        invitation.code.c_str());
        } else {
            std::printf("invitation code for %s (%lld nodes): %s\n", qPrintable(group.name),
                        static_cast<long long>(group.nodes.size()), invitation.code.c_str());
        }
    }
    std::fflush(stdout);
}

} // namespace

void addPairingRoutes(httplib::Server& server, const ServiceContext& context) {
    auto ledger = std::make_shared<InvitationLedger>(context.seeds.invitations());
    const SeedCatalogue& seeds = context.seeds;
    const Clock& clock = SystemClock::shared();

    server.Post("/v1/redeem", [ledger, &seeds](const httplib::Request& request, httplib::Response& response) {
        const auto body = requestObject(request);
        send(response, body ? redeem(*body, *ledger, seeds)
                            : ServiceReply::refusal(400, QStringLiteral("invalid_request")));
    });
    server.Post("/v1/profiles",
                [&seeds, &clock](const httplib::Request& request, httplib::Response& response) {
                    const auto body = requestObject(request);
                    send(response, body ? roster(*body, seeds, clock.now())
                                        : ServiceReply::refusal(400, QStringLiteral("invalid_request")));
                });
    printInvitationCodes(seeds);
}

} // namespace tessaron::local_service
