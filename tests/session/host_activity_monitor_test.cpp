#include "session/host_activity_monitor.hpp"

#include "support/fake_host_activity_source.hpp"

#include <gtest/gtest.h>

#include <vector>

using tessaron::HostActivityMonitor;
using tessaron::HostActivityState;
using tessaron::testing::FakeHostActivitySource;
using enum tessaron::HostActivitySource::Event;

TEST(HostActivityMonitorTest, EachNoticeMovesItsOwnFlagOnceTheMonitorIsStarted) {
    struct Case {
        const char* name;
        std::vector<tessaron::HostActivitySource::Event> events;
        HostActivityState state;
        int reports;
    };
    const Case cases[] = {
        {"sleep", {systemWillSleep}, {.systemAsleep = true}, 1},
        {"screens off", {screensDidSleep}, {.displaysAsleep = true}, 1},
        {"locked", {screenLocked}, {.screenLocked = true}, 1},
        {"session away", {sessionResignedActive}, {.sessionInactive = true}, 1},
        {"every return",
         {systemWillSleep, screensDidSleep, screenLocked, sessionResignedActive, systemDidWake,
          screensDidWake, screenUnlocked, sessionBecameActive},
         {},
         8},
        {"a repeated notice changes nothing", {screenLocked, screenLocked}, {.screenLocked = true}, 1},
        {"a return without a leave changes nothing", {systemDidWake, screenUnlocked}, {}, 0},
        {"the flags are independent",
         {screenLocked, systemWillSleep, systemDidWake},
         {.screenLocked = true},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHostActivitySource source;
        HostActivityMonitor monitor(source);
        int reportCount = 0;
        monitor.setOnChange([&](const HostActivityState& state) {
            ++reportCount;
            EXPECT_EQ(state, monitor.state());
        });
        // Nothing is heard before the start, and a second start adds no second listener.
        source.send(screenLocked);
        monitor.start();
        monitor.start();
        EXPECT_EQ(source.observerCount(), 1);
        for (const auto event : c.events)
            source.send(event);
        EXPECT_EQ(monitor.state(), c.state);
        EXPECT_EQ(monitor.state().isIdle(), c.state != HostActivityState{});
        EXPECT_EQ(reportCount, c.reports);
    }
}
