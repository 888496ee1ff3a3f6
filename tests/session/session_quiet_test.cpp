#include "session_link_fixture.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

class SessionQuietTest : public SessionLinkTest {
protected:
    // The wake-ups of the next ten minutes that fall off the given grid, and how many there were.
    std::pair<int, int> wakeUpsOverTenMinutes(Clock::Duration grid) {
        const auto first = harness.clock.wakeUps().size();
        harness.advance(10min);
        const auto& wakeUps = harness.clock.wakeUps();
        int offGrid = 0;
        for (auto i = first; i < wakeUps.size(); ++i)
            offGrid += wakeUps[i] % grid != Clock::Duration::zero() ? 1 : 0;
        return {offGrid, int(wakeUps.size() - first)};
    }

    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
};

// An idle link wakes the client only for what the rules ask: latency ticks in the foreground, the phase
// poll in the background; the periodic check, the roster pull and the probes ride on those instants.
TEST_F(SessionQuietTest, AnIdleConnectedSessionWakesOnlyWhenARuleAsks) {
    harness.latencyAnswers = {{oslo.server, 20}, {bergen.server, 30}};
    auto& session = ready({oslo, bergen});
    connectAndComeUp();
    harness.advance(1min);
    EXPECT_EQ(wakeUpsOverTenMinutes(500ms), std::make_pair(0, 1200)) << "two latency ticks a second";

    session.setSceneIsActive(false);
    harness.advance(1min);
    EXPECT_EQ(wakeUpsOverTenMinutes(10s), std::make_pair(0, 60)) << "one phase poll every 10 s";
}

} // namespace
} // namespace tessaron::testing
