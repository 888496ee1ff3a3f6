#include "session_link_fixture.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Event = HostActivitySource::Event;

namespace {

class SessionIdleTest : public SessionLinkTest {
protected:
    TessaronSession& connected(bool idleDisconnect = true) {
        preferences.setValue("tessaron.idleDisconnect", idleDisconnect);
        auto& session = startSelected({sampleProfile("Oslo")});
        connectFully();
        log.clear();
        return session;
    }

    // The host goes idle and comes back; the network is not back yet.
    void idleAndBack(Event idle, Event back) {
        paths.setStatus(PathMonitor::Status::unsatisfied);
        host.send(idle);
        settle();
        host.send(back);
        settle();
    }
};

TEST_F(SessionIdleTest, AnIdleHostTakesTheLinkDownAndItsReturnBringsItBackUnlessTheUserActedMeanwhile) {
    auto& session = connected();
    idleAndBack(Event::screensDidSleep, Event::screensDidWake);
    // The user taps the button while the network is still coming up.
    session.userStopTapped();
    paths.setStatus(PathMonitor::Status::satisfied);
    advance(120s);
    EXPECT_EQ(std::tuple(activator.calls, session.phase()), std::tuple(1, TessaronLinkPhase::disconnected));

    // Without the user, the link comes back once the network is, or after two minutes without it.
    connectFully();
    idleAndBack(Event::systemWillSleep, Event::systemDidWake);
    advance(119s);
    EXPECT_EQ(activator.calls, 2);
    advance(1s);
    EXPECT_EQ(std::tuple(activator.calls, session.phase()), std::tuple(3, TessaronLinkPhase::connecting));

    tunnel().setStatus(VpnStatus::connected);
    paths.setStatus(PathMonitor::Status::satisfied);
    settle();
    log.clear();
    host.send(Event::screenLocked);
    settle();
    EXPECT_EQ(
        std::tuple(session.phase(), logLines().mid(0, 2)),
        std::tuple(TessaronLinkPhase::disconnected, QStringList{"host idle", "auto-disconnect: host idle"}));
    host.send(Event::screenUnlocked);
    settle();
    EXPECT_EQ(std::tuple(activator.calls, session.phase()), std::tuple(4, TessaronLinkPhase::connecting));
}

TEST_F(SessionIdleTest, WithTheSettingOffAnIdleHostLeavesTheLinkAloneAndIsLoggedOnceEachWay) {
    auto& session = connected(false);
    host.send(Event::sessionResignedActive);
    host.send(Event::screensDidSleep);
    settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    host.send(Event::sessionBecameActive);
    EXPECT_TRUE(session.hostIdle());
    // The application coming to the front clears whatever idleness was missed.
    session.applicationResignedActive();
    session.applicationBecameActive(true);
    EXPECT_FALSE(session.hostIdle());
    EXPECT_EQ(logLines().mid(0, 2), (QStringList{"host idle", "host active"}));
}

} // namespace
