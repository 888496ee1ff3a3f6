#include "session_harness.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Event = HostActivitySource::Event;

namespace {

class SessionIdleTest : public ::testing::Test {
protected:
    TessaronSession& connected(bool idleDisconnect = true) {
        harness.preferences.setValue(QStringLiteral("tessaron.idleDisconnect"), idleDisconnect);
        auto& session = harness.startSelected({sampleProfile(QStringLiteral("Oslo"))});
        harness.connectFully();
        harness.log.clear();
        return session;
    }

    SessionHarness harness;
};

TEST_F(SessionIdleTest, AnIdleHostTakesTheLinkDownAndItsReturnBringsItBackUnlessTheUserActedMeanwhile) {
    auto& session = connected();
    harness.paths.setStatus(PathMonitor::Status::unsatisfied);
    harness.host.send(Event::screensDidSleep);
    harness.settle();
    harness.host.send(Event::screensDidWake);
    harness.settle();
    // The user taps the button while the network is still coming up.
    session.userStopTapped();
    harness.paths.setStatus(PathMonitor::Status::satisfied);
    harness.advance(120s);
    EXPECT_EQ(harness.activator.calls, 1);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);

    harness.connectFully();
    harness.paths.setStatus(PathMonitor::Status::unsatisfied);
    harness.host.send(Event::systemWillSleep);
    harness.settle();
    harness.host.send(Event::systemDidWake);
    harness.advance(119s);
    EXPECT_EQ(harness.activator.calls, 2);
    harness.advance(1s);
    EXPECT_EQ(harness.activator.calls, 3);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);

    // With the network there, the host's return brings the link back at once.
    harness.tunnel().setStatus(VpnStatus::connected);
    harness.paths.setStatus(PathMonitor::Status::satisfied);
    harness.settle();
    harness.log.clear();
    harness.host.send(Event::screenLocked);
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(harness.logLines().mid(0, 2), (QStringList{"host idle", "auto-disconnect: host idle"}));
    harness.host.send(Event::screenUnlocked);
    harness.settle();
    EXPECT_EQ(harness.activator.calls, 4);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

TEST_F(SessionIdleTest, WithTheSettingOffAnIdleHostLeavesTheLinkAloneAndIsLoggedOnceEachWay) {
    auto& session = connected(false);
    harness.host.send(Event::sessionResignedActive);
    harness.host.send(Event::screensDidSleep);
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    harness.host.send(Event::sessionBecameActive);
    EXPECT_TRUE(session.hostIdle());
    // The application coming to the front clears whatever idleness was missed.
    session.applicationResignedActive();
    session.applicationBecameActive(true);
    EXPECT_FALSE(session.hostIdle());
    EXPECT_EQ(harness.logLines().mid(0, 2),
              (QStringList{QStringLiteral("host idle"), QStringLiteral("host active")}));
}

} // namespace
