#include "session/host_activity_monitor.hpp"

#include "support/fake_host_activity_source.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace tessaron;
using namespace tessaron::testing;
using Event = tessaron::HostActivitySource::Event;
using enum Event;

TEST(HostActivityMonitorTest, EachNoticeMovesItsOwnFlagOnceTheMonitorIsStarted) {
    // The notices, then the state they leave and how many changes were reported.
    const std::tuple<const char*, std::vector<Event>, HostActivityState, int> cases[] = {
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
        {"independent flags", {screenLocked, systemWillSleep, systemDidWake}, {.screenLocked = true}, 3},
    };
    for (const auto& [name, events, state, reports] : cases) {
        SCOPED_TRACE(name);
        FakeHostActivitySource source;
        HostActivityMonitor monitor(source);
        int reportCount = 0;
        monitor.setOnChange([&](const HostActivityState& reported) {
            ++reportCount;
            EXPECT_EQ(reported, monitor.state());
        });
        // Nothing is heard before the start, and a second start adds no second listener.
        source.send(screenLocked);
        monitor.start();
        monitor.start();
        EXPECT_EQ(source.observerCount(), 1);
        for (const auto event : events)
            source.send(event);
        EXPECT_EQ(std::tuple(monitor.state(), monitor.state().isIdle(), reportCount),
                  std::tuple(state, state != HostActivityState{}, reports));
    }
}
