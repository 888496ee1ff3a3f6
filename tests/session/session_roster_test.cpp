#include "session_link_fixture.hpp"

#include "profiles/json_values.hpp"
#include "session/managed_profiles_store.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionRosterTest : public SessionLinkTest {
protected:
    TessaronSession& withSource() {
        grantConsent();
        save(source);
        launch();
        log.clear();
        return *session;
    }

    // The service answers with these profiles, each up, in Norway, and the session pulls.
    void pull(const QList<TessaronProfile>& profiles) {
        TessaronRosterResponse reply{profiles,
                                     {},
                                     {},
                                     TessaronDataUsage{1, 10, clock.now().addDays(10)},
                                     TessaronClientGeo{"DE", "Berlin", 52.5, 13.4}};
        for (const auto& profile : profiles) {
            reply.health.insert(profile.id, {true, clock.now(), false, std::nullopt, 0.5, false});
            reply.geo.insert(profile.id, {"NO", 59.9, 10.7, TessaronNodeGeo::Purpose::exit});
        }
        pairing.setRoster(source.id, reply);
        run(session->pullRoster(source.id));
    }

    const TessaronProfile source = sampleProfile("Oslo");
    const TessaronProfile bergen = sampleProfile("Bergen");
    const TessaronProfile tromso = sampleProfile("Tromso");
};

TEST_F(SessionRosterTest, ARosterDecidesTheManagedProfilesUntilTheServiceForgetsItsSource) {
    withSource();
    pull({source, bergen, tromso});
    const TessaronManagedProfilesStore managed(preferences);
    EXPECT_EQ(std::tuple(session->summaries().size(), managed.managedProfileIDs(source.id),
                         session->rosterSourceIDs(), session->nodeHealth().size(),
                         session->dataUsage()->capBytes,
                         preferences.date("tessaron.profilesRefreshedAt." + uuidText(source.id))),
              std::tuple(3, QList<QUuid>{bergen.id, tromso.id}, QList<QUuid>{source.id}, 3, 10, clock.now()));

    // The geography outlives the process; the node health does not.
    auto& relaunched = relaunch();
    EXPECT_EQ(std::tuple(relaunched.nodeGeo(bergen.id)->country, relaunched.clientGeo()->city),
              std::tuple("NO", "Berlin"));
    pull({source, bergen});
    EXPECT_EQ(std::tuple(relaunched.summaries().size(), relaunched.nodeHealth().contains(tromso.id),
                         savedItem(tromso.id)),
              std::tuple(2, false, std::nullopt));

    // Any other failure is only logged.
    log.clear();
    pairing.failNextRosters({500});
    run(relaunched.pullRoster(source.id));
    EXPECT_EQ(std::tuple(logLines(), relaunched.summaries().size(), relaunched.lastError()),
              std::tuple(QStringList{"roster refresh: failed TessaronPairingError 3"}, 2, std::nullopt));

    pairing.forget(source.id);
    run(relaunched.pullRoster(source.id));
    EXPECT_EQ(std::tuple(relaunched.summaries().size(), managed.loadManagedProfiles().size()),
              std::tuple(0, 0));
}

TEST_F(SessionRosterTest, APullWritesOnlyTheProfilesThatChangedAndOnlyStaleSourcesAreRefreshed) {
    save(bergen);
    stampRoster(source.id, 899s);
    stampRoster(bergen.id, 900s);
    auto& session = withSource();
    const auto before = rosterPulls().size();
    run(session.refreshStaleProfiles());
    EXPECT_EQ(rosterPulls().mid(before), QList<QUuid>{bergen.id});

    pull({source, bergen});
    const auto writes = keychain.writeCount();
    pull({source, bergen});
    EXPECT_EQ(keychain.writeCount(), writes) << "an unchanged roster rewrites nothing";
    auto renamed = bergen;
    renamed.name = "Bergen 2";
    pull({source, renamed});
    EXPECT_EQ(keychain.writeCount(), writes + 2) << "one add refused as a duplicate, one update";
    EXPECT_EQ(savedItem(bergen.id), renamed.canonicalJSON());
}

// A sync never blames the user for the connection it could not remove; it removes it once the link ends.
TEST_F(SessionRosterTest, AConnectedLinkPullsItsRosterEveryFiveMinutesAndItsRemovalWaitsForTheLinkToEnd) {
    auto& session = startSelected({source});
    pull({source, bergen});
    session.select(bergen.id);
    connectFully();
    const auto pullsAfter = [&, base = rosterPulls().size()](Clock::Duration step) {
        advance(step);
        return rosterPulls().size() - base;
    };
    // The first poll, two seconds into the link, pulls at once; the next one five minutes later.
    EXPECT_EQ(pullsAfter(2s), 1);
    EXPECT_EQ(pullsAfter(298s), 1);
    pairing.failNextRosters({503});
    EXPECT_EQ(pullsAfter(2s), 2);
    // The failed pull is tried once more at the next poll, two seconds on.
    EXPECT_EQ(pullsAfter(2s), 3);
    EXPECT_EQ(pullsAfter(30s), 3);

    pull({source});
    EXPECT_EQ(std::tuple(session.lastError(), session.summaries().size()), std::tuple(std::nullopt, 2));
    session.userStopTapped();
    settle();
    EXPECT_EQ(std::tuple(session.summaries().size(), session.selectedID(), tunnels.stored().size()),
              std::tuple(1, std::nullopt, 0));
}

} // namespace
