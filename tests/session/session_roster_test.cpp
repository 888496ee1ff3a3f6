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
        auto& session = harness.start();
        track(session.bootstrap());
        harness.settle();
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

    QList<QUuid> listed(const TessaronSession& session) const {
        QList<QUuid> ids;
        for (const auto& summary : session.summaries())
            ids.append(summary.id);
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    int rosterPulls() const { return harness.pairing.sent(QStringLiteral("/v1/profiles")).size(); }

    SessionHarness harness;
    const TessaronProfile source = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile tromso = sampleProfile(QStringLiteral("Tromso"));
};

TEST_F(SessionRosterTest, AdoptingARosterSavesItsProfilesAsManagedAndDropsThoseItNoLongerLists) {
    auto& session = withSource();
    harness.pairing.setRoster(source.id, roster({source, bergen, tromso}));

    track(session.pullRoster(source.id));
    harness.settle();

    auto expected = QList<QUuid>{source.id, bergen.id, tromso.id};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed(session), expected);
    EXPECT_EQ(TessaronManagedProfilesStore(harness.preferences).managedProfileIDs(source.id),
              (QList<QUuid>{bergen.id, tromso.id}));
    EXPECT_EQ(session.rosterSourceIDs(), QList<QUuid>{source.id});
    EXPECT_EQ(session.nodeHealth().size(), 3);
    EXPECT_EQ(session.dataUsage()->capBytes, 10);
    EXPECT_EQ(harness.preferences.date(QStringLiteral("tessaron.profilesRefreshedAt.") + uuidText(source.id)),
              harness.clock.now());

    // The geography outlives the process; the node health does not.
    auto& relaunched = harness.restart();
    track(relaunched.bootstrap());
    harness.settle();
    EXPECT_EQ(relaunched.nodeGeo(bergen.id)->country, QStringLiteral("NO"));
    EXPECT_EQ(relaunched.clientGeo()->city, QStringLiteral("Berlin"));

    harness.pairing.setRoster(source.id, roster({source, bergen}));
    track(relaunched.pullRoster(source.id));
    harness.settle();
    EXPECT_EQ(relaunched.summaries().size(), 2);
    EXPECT_FALSE(relaunched.nodeHealth().contains(tromso.id));
    EXPECT_FALSE(harness.keychain.item(QStringLiteral("test.tessaron.shared"),
                                       QStringLiteral("com.hallmere.tessaron.profile"), uuidText(tromso.id)));
}

TEST_F(SessionRosterTest, APullWritesOnlyTheProfilesThatChanged) {
    auto& session = withSource();
    harness.pairing.setRoster(source.id, roster({source, bergen}));
    track(session.pullRoster(source.id));
    harness.settle();
    const auto writes = harness.keychain.writeCount();

    track(session.pullRoster(source.id));
    harness.settle();
    EXPECT_EQ(harness.keychain.writeCount(), writes) << "an unchanged roster rewrites nothing";

    auto renamed = bergen;
    renamed.name = QStringLiteral("Bergen 2");
    harness.pairing.setRoster(source.id, roster({source, renamed}));
    track(session.pullRoster(source.id));
    harness.settle();
    EXPECT_EQ(harness.keychain.writeCount(), writes + 2) << "one add refused as a duplicate, one update";
    EXPECT_EQ(harness.keychain.item(QStringLiteral("test.tessaron.shared"),
                                    QStringLiteral("com.hallmere.tessaron.profile"), uuidText(bergen.id)),
              renamed.canonicalJSON());
}

TEST_F(SessionRosterTest, ASourceTheServiceNoLongerKnowsGoesWithItsManagedProfiles) {
    auto& session = withSource();
    harness.pairing.setRoster(source.id, roster({source, bergen}));
    track(session.pullRoster(source.id));
    harness.settle();
    harness.pairing.forget(source.id);

    track(session.pullRoster(source.id));
    harness.settle();

    EXPECT_TRUE(session.summaries().isEmpty());
    EXPECT_TRUE(TessaronManagedProfilesStore(harness.preferences).loadManagedProfiles().isEmpty());
}

TEST_F(SessionRosterTest, AnyOtherFailureIsOnlyLogged) {
    auto& session = withSource();
    harness.pairing.failNextRosters({500});
    track(session.pullRoster(source.id));
    harness.settle();
    EXPECT_EQ(harness.logLines(),
              QStringList{QStringLiteral("roster refresh: failed TessaronPairingError 3")});
    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_FALSE(session.lastError());
}

TEST_F(SessionRosterTest, OnlyStaleRosterSourcesAreRefreshed) {
    harness.save(bergen);
    harness.stampRoster(source.id, 899s);
    harness.stampRoster(bergen.id, 900s);
    auto& session = withSource();
    const auto before = rosterPulls();

    track(session.refreshStaleProfiles());
    harness.settle();

    ASSERT_EQ(rosterPulls(), before + 1);
    EXPECT_EQ(QUuid::fromString(
                  harness.pairing.sent(QStringLiteral("/v1/profiles")).last().value("profileID").toString()),
              bergen.id);
}

TEST_F(SessionRosterTest, AConnectedLinkPullsItsRosterEveryFiveMinutesAndRetriesAFailureOnce) {
    harness.stampRoster(source.id, 60s);
    auto& session = withSource();
    harness.pairing.setRoster(source.id, roster({source}));
    session.select(source.id);
    track(session.connect());
    harness.settle();
    harness.tunnel().setStatus(VpnStatus::connected);
    harness.settle();
    // The first poll, two seconds into the link, pulls at once.
    harness.advance(2s);
    const auto atConnect = rosterPulls();
    EXPECT_EQ(atConnect, 1);

    harness.advance(298s);
    EXPECT_EQ(rosterPulls(), atConnect);
    harness.pairing.failNextRosters({503});
    harness.advance(2s);
    EXPECT_EQ(rosterPulls(), atConnect + 1);
    // The failed pull is tried once more at the next poll, two seconds on.
    harness.advance(2s);
    EXPECT_EQ(rosterPulls(), atConnect + 2);
    harness.advance(30s);
    EXPECT_EQ(rosterPulls(), atConnect + 2);
}

} // namespace
