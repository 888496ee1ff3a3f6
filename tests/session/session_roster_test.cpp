#include "session_harness.hpp"

#include "profiles/json_values.hpp"
#include "session/managed_profiles_store.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionRosterTest : public ::testing::Test {
protected:
    TessaronSession& withSource() {
        harness.grantConsent();
        harness.save(source);
        auto& session = harness.launch();
        harness.log.clear();
        return session;
    }

    TessaronRosterResponse roster(const QList<TessaronProfile>& profiles) const {
        TessaronRosterResponse reply;
        reply.profiles = profiles;
        for (const auto& profile : profiles) {
            reply.health.insert(
                profile.id, TessaronNodeHealth{true, harness.clock.now(), false, std::nullopt, 0.5, false});
            reply.geo.insert(profile.id, TessaronNodeGeo{QStringLiteral("NO"), 59.9, 10.7,
                                                         TessaronNodeGeo::Purpose::exit});
        }
        reply.clientGeo = TessaronClientGeo{QStringLiteral("DE"), QStringLiteral("Berlin"), 52.5, 13.4};
        reply.usage = TessaronDataUsage{1, 10, harness.clock.now().addDays(10)};
        return reply;
    }

    void pull(TessaronSession& session, const QList<TessaronProfile>& profiles) {
        harness.pairing.setRoster(source.id, roster(profiles));
        harness.run(session.pullRoster(source.id));
    }

    QList<QUuid> pulledSources() const {
        QList<QUuid> ids;
        for (const auto& body : harness.pairing.sent(QStringLiteral("/v1/profiles")))
            ids.append(*uuidFromText(body.value(QStringLiteral("profileID")).toString()));
        return ids;
    }

    SessionHarness harness;
    const TessaronProfile source = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile tromso = sampleProfile(QStringLiteral("Tromso"));
};

TEST_F(SessionRosterTest, ARosterDecidesTheManagedProfilesUntilTheServiceForgetsItsSource) {
    auto& session = withSource();
    pull(session, {source, bergen, tromso});
    EXPECT_EQ(session.summaries().size(), 3);
    const TessaronManagedProfilesStore managed(harness.preferences);
    EXPECT_EQ(managed.managedProfileIDs(source.id), (QList<QUuid>{bergen.id, tromso.id}));
    EXPECT_EQ(session.rosterSourceIDs(), QList<QUuid>{source.id});
    EXPECT_EQ(std::tuple(session.nodeHealth().size(), session.dataUsage()->capBytes), std::tuple(3, 10));
    EXPECT_EQ(harness.preferences.date(QStringLiteral("tessaron.profilesRefreshedAt.") + uuidText(source.id)),
              harness.clock.now());

    // The geography outlives the process; the node health does not.
    auto& relaunched = harness.relaunch();
    EXPECT_EQ(relaunched.nodeGeo(bergen.id)->country, QStringLiteral("NO"));
    EXPECT_EQ(relaunched.clientGeo()->city, QStringLiteral("Berlin"));
    pull(relaunched, {source, bergen});
    EXPECT_EQ(relaunched.summaries().size(), 2);
    EXPECT_FALSE(relaunched.nodeHealth().contains(tromso.id));
    EXPECT_FALSE(harness.keychain.item(QStringLiteral("test.tessaron.shared"),
                                       QStringLiteral("com.hallmere.tessaron.profile"), uuidText(tromso.id)));

    // Any other failure is only logged.
    harness.log.clear();
    harness.pairing.failNextRosters({500});
    harness.run(relaunched.pullRoster(source.id));
    EXPECT_EQ(harness.logLines(),
              QStringList{QStringLiteral("roster refresh: failed TessaronPairingError 3")});
    EXPECT_EQ(relaunched.summaries().size(), 2);
    EXPECT_FALSE(relaunched.lastError());

    harness.pairing.forget(source.id);
    harness.run(relaunched.pullRoster(source.id));
    EXPECT_TRUE(relaunched.summaries().isEmpty());
    EXPECT_TRUE(managed.loadManagedProfiles().isEmpty());
}

TEST_F(SessionRosterTest, APullWritesOnlyTheProfilesThatChanged) {
    auto& session = withSource();
    pull(session, {source, bergen});
    const auto writes = harness.keychain.writeCount();

    pull(session, {source, bergen});
    EXPECT_EQ(harness.keychain.writeCount(), writes) << "an unchanged roster rewrites nothing";

    auto renamed = bergen;
    renamed.name = QStringLiteral("Bergen 2");
    pull(session, {source, renamed});
    EXPECT_EQ(harness.keychain.writeCount(), writes + 2) << "one add refused as a duplicate, one update";
    EXPECT_EQ(harness.keychain.item(QStringLiteral("test.tessaron.shared"),
                                    QStringLiteral("com.hallmere.tessaron.profile"), uuidText(bergen.id)),
              renamed.canonicalJSON());
}

TEST_F(SessionRosterTest, OnlyStaleRosterSourcesAreRefreshed) {
    harness.save(bergen);
    harness.stampRoster(source.id, 899s);
    harness.stampRoster(bergen.id, 900s);
    auto& session = withSource();
    const auto before = pulledSources().size();

    harness.run(session.refreshStaleProfiles());
    EXPECT_EQ(pulledSources().mid(before), QList<QUuid>{bergen.id});
}

// A sync never blames the user for the connection it could not remove; it removes it once the link ends.
TEST_F(SessionRosterTest, AConnectedLinkPullsItsRosterEveryFiveMinutesAndItsRemovalWaitsForTheLinkToEnd) {
    auto& session = harness.startSelected({source});
    pull(session, {source, bergen});
    session.select(bergen.id);
    harness.connectFully();
    const auto pullsAfter = [&, base = pulledSources().size()](Clock::Duration step) {
        harness.advance(step);
        return pulledSources().size() - base;
    };
    // The first poll, two seconds into the link, pulls at once; the next one five minutes later.
    EXPECT_EQ(pullsAfter(2s), 1);
    EXPECT_EQ(pullsAfter(298s), 1);
    harness.pairing.failNextRosters({503});
    EXPECT_EQ(pullsAfter(2s), 2);
    // The failed pull is tried once more at the next poll, two seconds on.
    EXPECT_EQ(pullsAfter(2s), 3);
    EXPECT_EQ(pullsAfter(30s), 3);

    pull(session, {source});
    EXPECT_FALSE(session.lastError());
    EXPECT_EQ(session.summaries().size(), 2);
    session.userStopTapped();
    harness.settle();
    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_FALSE(session.selectedID());
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
}

} // namespace
