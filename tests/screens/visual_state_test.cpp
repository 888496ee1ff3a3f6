#include "screens/tessaron_theme.hpp"
#include "screens/visual_state.hpp"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

TEST(VisualState, FollowsTheLinkPhaseAndRawValuesRoundTripExactly) {
    using enum TessaronLinkPhase;
    using V = TessaronVisualState;
    const std::pair<TessaronLinkPhase, V> table[] = {
        {disconnected, V::idle}, {connecting, V::connecting}, {checking, V::checking},
        {connected, V::online},  {checkFailed, V::failed},    {disconnecting, V::idle},
    };
    for (const auto& [phase, state] : table)
        EXPECT_EQ(visualState(phase), state) << static_cast<int>(phase);
    for (const auto state : allVisualStates())
        EXPECT_EQ(visualState(rawValue(state)), state);
    for (const char* raw : {"Online", "ONLINE", " online", "online ", "", "disconnected"})
        EXPECT_EQ(visualState(QString::fromLatin1(raw)), std::nullopt) << raw;
}

TEST(VisualState, FailedSharesTheConnectButtonButKeepsItsOwnStatus) {
    using V = TessaronVisualState;
    struct Row {
        V state;
        const char* title;
        const char* button;
        QColor tint;
        bool busy;
    };
    const Row rows[] = {
        {V::idle, "Not connected", "Connect", TessaronTheme::textSecondary(), false},
        {V::connecting, "Connecting", "Cancel", TessaronTheme::textPrimary(), true},
        {V::checking, "Checking", "Cancel", TessaronTheme::warning(), true},
        {V::online, "Online", "Disconnect", TessaronTheme::success(), false},
        {V::failed, "Failed", "Connect", TessaronTheme::danger(), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(rawValue(row.state).toStdString());
        EXPECT_EQ(statusTitle(row.state), QString::fromUtf8(row.title));
        EXPECT_EQ(primaryButtonTitle(row.state), QString::fromUtf8(row.button));
        EXPECT_EQ(tint(row.state), row.tint);
        EXPECT_EQ(isBusy(row.state), row.busy);
        EXPECT_TRUE(accessibilitySummary(row.state).startsWith(statusTitle(row.state)));
    }
    EXPECT_EQ(primaryButtonHint(V::failed), primaryButtonHint(V::idle));
    EXPECT_NE(primaryButtonHint(V::connecting), primaryButtonHint(V::checking));
}

} // namespace
} // namespace tessaron
