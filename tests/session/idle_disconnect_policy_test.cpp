#include "session/idle_disconnect_policy.hpp"

#include <gtest/gtest.h>

using tessaron::IdleDisconnectPolicy;
using Policy = IdleDisconnectPolicy;
using enum IdleDisconnectPolicy::Action;
using enum tessaron::TessaronLinkPhase;

namespace {

const QDateTime now(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
const QDateTime earlier(QDate(2026, 2, 28), QTime(22, 0), Qt::UTC);

IdleDisconnectPolicy policy(bool stoppedForIdle, qint64 generation, std::optional<QDateTime> resumedAt = {}) {
    return {.disconnectedForIdle = stoppedForIdle, .resumedAt = resumedAt, .generationAtStop = generation};
}

} // namespace

TEST(IdleDisconnectPolicyTest, DecidesFromTheSettingTheHostAndTheLink) {
    const IdleDisconnectPolicy fresh;
    const auto stopped = policy(true, 3), resumed = policy(false, 1, earlier);
    const auto reconnect = reconnectAfterPathWait;
    // The inputs are the setting, whether the host is idle, the link and the user's link generation.
    const std::tuple<const char*, Policy, Policy::Inputs, Policy::Action, Policy> cases[] = {
        {"setting off: no resume", stopped, {false, false, disconnected, 3, now}, none, stopped},
        {"idle while connecting", fresh, {true, true, connecting, 5, now}, disconnect, policy(true, 5)},
        {"link going down anyway", fresh, {true, true, disconnecting, 1, now}, none, fresh},
        {"idle with no link", fresh, {true, true, disconnected, 1, now}, none, fresh},
        {"still idle after the stop", stopped, {true, true, disconnected, 3, now}, none, stopped},
        {"back after a stop", stopped, {true, false, disconnected, 3, now}, reconnect, policy(false, 3, now)},
        {"back with no idle stop", fresh, {true, false, disconnected, 3, now}, none, fresh},
        // A later stop keeps the earlier return time.
        {"a later stop", resumed, {true, true, connected, 2, now}, disconnect, policy(true, 2, earlier)},
    };
    for (const auto& [name, before, inputs, action, next] : cases) {
        const auto decision = before.evaluate(inputs);
        EXPECT_EQ(std::tuple(decision.action, decision.next), std::tuple(action, next)) << name;
    }
}

TEST(IdleDisconnectPolicyTest, ReconnectsOnlyWhenNothingHappenedSinceTheStop) {
    // The phase, whether the host is idle and the user's link generation when the network returns.
    const std::tuple<const char*, tessaron::TessaronLinkPhase, bool, qint64, bool> cases[] = {
        {"untouched", disconnected, false, 7, true},
        {"the user connected meanwhile", disconnected, false, 8, false},
        {"a link came up meanwhile", connecting, false, 7, false},
        {"the host went idle again", disconnected, true, 7, false},
    };
    for (const auto& [name, phase, hostIdle, generation, reconnect] : cases)
        EXPECT_EQ(policy(false, 7, now).shouldReconnect(phase, hostIdle, generation), reconnect) << name;
}
