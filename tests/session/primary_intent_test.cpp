#include "session/primary_intent.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using Phase = TessaronLinkPhase;

// The order of the missing steps is walked through in the session's own test; here the link wins over them,
// and a stop cancels until the link is up and unblocked.
TEST(PrimaryIntentTest, AnyLinkNotFullyDownIsStoppedFirst) {
    const std::tuple<Phase, bool, const char*> cases[] = {
        {Phase::connecting, false, "Cancel"},     {Phase::checking, true, "Cancel"},
        {Phase::checking, false, "Disconnect"},   {Phase::connected, true, "Disconnect"},
        {Phase::checkFailed, true, "Disconnect"}, {Phase::disconnecting, false, "Disconnect"}};
    for (const auto& [phase, blocked, stopTitle] : cases) {
        SCOPED_TRACE(title(phase).toStdString());
        EXPECT_EQ(primaryIntent({phase, false, false, false}), TessaronPrimaryIntent::stop);
        EXPECT_EQ(primaryTitle(TessaronPrimaryIntent::stop, phase, blocked), QString::fromUtf8(stopTitle));
    }
    EXPECT_EQ(primaryIntent({Phase::disconnected, true, false, true}), TessaronPrimaryIntent::reviewPrivacy);
    EXPECT_EQ(title(Phase::checkFailed), QStringLiteral("Connection check failed"));
}
