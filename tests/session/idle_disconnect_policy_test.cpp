#include "session/idle_disconnect_policy.hpp"

#include <gtest/gtest.h>

using tessaron::IdleDisconnectPolicy;
using tessaron::TessaronLinkPhase;
using Action = IdleDisconnectPolicy::Action;
using Phase = TessaronLinkPhase;

namespace {

const QDateTime now(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
const QDateTime earlier(QDate(2026, 2, 28), QTime(22, 0), Qt::UTC);

IdleDisconnectPolicy stoppedForIdle(qint64 generation) {
    return {.disconnectedForIdle = true, .resumedAt = std::nullopt, .generationAtStop = generation};
}

} // namespace

TEST(IdleDisconnectPolicyTest, DecidesFromTheSettingTheHostAndTheLink) {
    struct Case {
        const char* name;
        IdleDisconnectPolicy policy;
        IdleDisconnectPolicy::Inputs inputs;
        Action action;
        IdleDisconnectPolicy next;
    };
    const IdleDisconnectPolicy fresh;
    const Case cases[] = {
        {"setting off: a stop for idle is not resumed",
         stoppedForIdle(3),
         {false, false, Phase::disconnected, 3, now},
         Action::none,
         stoppedForIdle(3)},
        {"idle while connecting",
         fresh,
         {true, true, Phase::connecting, 5, now},
         Action::disconnect,
         stoppedForIdle(5)},
        {"idle while the link goes down anyway",
         fresh,
         {true, true, Phase::disconnecting, 1, now},
         Action::none,
         fresh},
        {"idle with no link", fresh, {true, true, Phase::disconnected, 1, now}, Action::none, fresh},
        {"still idle after the stop took effect",
         stoppedForIdle(3),
         {true, true, Phase::disconnected, 3, now},
         Action::none,
         stoppedForIdle(3)},
        {"back after an idle stop",
         stoppedForIdle(3),
         {true, false, Phase::disconnected, 3, now},
         Action::reconnectAfterPathWait,
         {.disconnectedForIdle = false, .resumedAt = now, .generationAtStop = 3}},
        {"back with no idle stop", fresh, {true, false, Phase::disconnected, 3, now}, Action::none, fresh},
        {"a later stop keeps the earlier return time",
         {.disconnectedForIdle = false, .resumedAt = earlier, .generationAtStop = 1},
         {true, true, Phase::connected, 2, now},
         Action::disconnect,
         {.disconnectedForIdle = true, .resumedAt = earlier, .generationAtStop = 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decision = c.policy.evaluate(c.inputs);
        EXPECT_EQ(decision.action, c.action);
        EXPECT_EQ(decision.next, c.next);
    }
}

TEST(IdleDisconnectPolicyTest, ReconnectsOnlyWhenNothingHappenedSinceTheStop) {
    struct Case {
        const char* name;
        Phase phase;
        bool hostIdle;
        qint64 generation;
        bool reconnect;
    };
    const Case cases[] = {
        {"untouched", Phase::disconnected, false, 7, true},
        {"the user connected meanwhile", Phase::disconnected, false, 8, false},
        {"a link came up meanwhile", Phase::connecting, false, 7, false},
        {"the host went idle again", Phase::disconnected, true, 7, false},
    };
    const IdleDisconnectPolicy resumed{.disconnectedForIdle = false, .resumedAt = now, .generationAtStop = 7};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(resumed.shouldReconnect(c.phase, c.hostIdle, c.generation), c.reconnect);
    }
}
