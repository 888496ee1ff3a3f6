#include "session/host_activity_monitor.hpp"

#include "support/fake_host_activity_source.hpp"

#include <gtest/gtest.h>

#include <vector>

using tessaron::HostActivityMonitor;
using tessaron::HostActivityState;
using tessaron::testing::FakeHostActivitySource;
using Event = tessaron::HostActivitySource::Event;

namespace {

class HostActivityMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor.setOnChange([this](const HostActivityState& state) { reports.push_back(state); });
    }

    FakeHostActivitySource source;
    HostActivityMonitor monitor{source};
    std::vector<HostActivityState> reports;
};

} // namespace

TEST_F(HostActivityMonitorTest, EachNoticeMovesItsOwnFlag) {
    struct Case {
        const char* name;
        std::vector<Event> events;
        HostActivityState state;
        int reports;
    };
    const Case cases[] = {
        {"sleep", {Event::systemWillSleep}, {.systemAsleep = true}, 1},
        {"screens off", {Event::screensDidSleep}, {.displaysAsleep = true}, 1},
        {"locked", {Event::screenLocked}, {.screenLocked = true}, 1},
        {"session away", {Event::sessionResignedActive}, {.sessionInactive = true}, 1},
        {"every return",
         {Event::systemWillSleep, Event::screensDidSleep, Event::screenLocked, Event::sessionResignedActive,
          Event::systemDidWake, Event::screensDidWake, Event::screenUnlocked, Event::sessionBecameActive},
         {},
         8},
        {"a repeated notice changes nothing",
         {Event::screenLocked, Event::screenLocked},
         {.screenLocked = true},
         1},
        {"a return without a leave changes nothing", {Event::systemDidWake, Event::screenUnlocked}, {}, 0},
        {"the flags are independent",
         {Event::screenLocked, Event::systemWillSleep, Event::systemDidWake},
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
        monitor.start();
        for (const auto event : c.events)
            source.send(event);
        EXPECT_EQ(monitor.state(), c.state);
        EXPECT_EQ(monitor.state().isIdle(), c.state != HostActivityState{});
        EXPECT_EQ(reportCount, c.reports);
    }
}

TEST_F(HostActivityMonitorTest, ListensOnlyOnceStartedAndOnlyOnce) {
    source.send(Event::screenLocked);
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_EQ(monitor.state(), HostActivityState{});

    monitor.start();
    monitor.start();
    EXPECT_TRUE(monitor.isRunning());
    EXPECT_EQ(source.observerCount(), 1);
    source.send(Event::screenLocked);
    EXPECT_EQ(reports.size(), 1u);
}
