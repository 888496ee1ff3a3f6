#include "app/foreground_invitation_recovery.hpp"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

TEST(ForegroundInvitationRecoveryTest, RunsOnLaterActivationsOnly) {
    using enum ScenePhase;
    struct Case {
        const char* name;
        std::vector<ScenePhase> phases;
        int runs;
    };
    const Case cases[] = {
        {"first phase active", {active}, 0},
        {"first phase inactive, then active", {inactive, active}, 1},
        {"back from the background twice", {active, background, active, inactive, active}, 2},
        {"the same phase again", {inactive, active, active}, 1},
        {"going away", {active, inactive, background}, 0},
    };
    for (const auto& c : cases) {
        int runs = 0;
        ForegroundInvitationRecovery recovery([&runs] { ++runs; });
        for (const auto phase : c.phases)
            recovery.follow(phase);
        EXPECT_EQ(runs, c.runs) << c.name;
    }
}

} // namespace
} // namespace tessaron
