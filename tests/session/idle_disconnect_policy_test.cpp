#include "session/idle_disconnect_policy.hpp"

#include <gtest/gtest.h>

using tessaron::IdleDisconnectPolicy;
using Action = IdleDisconnectPolicy::Action;
using Phase = tessaron::TessaronLinkPhase;

namespace {

const QDateTime now(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
const QDateTime earlier(QDate(2026, 2, 28), QTime(22, 0), Qt::UTC);

IdleDisconnectPolicy policy(bool stoppedForIdle, qint64 generation, std::optional<QDateTime> resumedAt = {}) {
    return {.disconnectedForIdle = stoppedForIdle, .resumedAt = resumedAt, .generationAtStop = generation};
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
         policy(true, 3),
         {false, false, Phase::disconnected, 3, now},
         Action::none,
         policy(true, 3)},
        {"idle while connecting",
         fresh,
         {true, true, Phase::connecting, 5, now},
         Action::disconnect,
         policy(true, 5)},
        {"idle while the link goes down anyway",
         fresh,
         {true, true, Phase::disconnecting, 1, now},
         Action::none,
         fresh},
        {"idle with no link", fresh, {true, true, Phase::disconnected, 1, now}, Action::none, fresh},
        {"still idle after the stop took effect",
         policy(true, 3),
         {true, true, Phase::disconnected, 3, now},
         Action::none,
         policy(true, 3)},
        {"back after an idle stop",
         policy(true, 3),
         {true, false, Phase::disconnected, 3, now},
         Action::reconnectAfterPathWait,
         policy(false, 3, now)},
        {"back with no idle stop", fresh, {true, false, Phase::disconnected, 3, now}, Action::none, fresh},
        {"a later stop keeps the earlier return time",
         policy(false, 1, earlier),
         {true, true, Phase::connected, 2, now},
         Action::disconnect,
         policy(true, 2, earlier)},
    };
    for (const auto& c : cases) {
        const auto decision = c.policy.evaluate(c.inputs);
        EXPECT_EQ(std::tuple(decision.action, decision.next), std::tuple(c.action, c.next)) << c.name;
    }
}

TEST(IdleDisconnectPolicyTest, ReconnectsOnlyWhenNothingHappenedSinceTheStop) {
    // The phase, whether the host is idle and the user's link generation when the network returns.
    const std::tuple<const char*, Phase, bool, qint64, bool> cases[] = {
        {"untouched", Phase::disconnected, false, 7, true},
        {"the user connected meanwhile", Phase::disconnected, false, 8, false},
        {"a link came up meanwhile", Phase::connecting, false, 7, false},
        {"the host went idle again", Phase::disconnected, true, 7, false},
    };
    for (const auto& [name, phase, hostIdle, generation, reconnect] : cases)
        EXPECT_EQ(policy(false, 7, now).shouldReconnect(phase, hostIdle, generation), reconnect) << name;
}
