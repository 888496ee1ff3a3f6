#include "session/primary_intent.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using Intent = TessaronPrimaryIntent;
using Phase = TessaronLinkPhase;

// The order of the missing steps is walked through in the session's own test; here the link wins over them.
TEST(PrimaryIntentTest, AnyLinkNotFullyDownIsStoppedFirst) {
    for (const auto phase :
         {Phase::connecting, Phase::checking, Phase::connected, Phase::checkFailed, Phase::disconnecting})
        EXPECT_EQ(primaryIntent({phase, false, false, false}), Intent::stop) << title(phase).toStdString();
    EXPECT_EQ(primaryIntent({Phase::disconnected, true, false, true}), Intent::reviewPrivacy);
}

TEST(PrimaryIntentTest, AStopCancelsUntilTheLinkIsUpAndUnblocked) {
    struct Case {
        Phase phase;
        bool blocked;
        const char* title;
    };
    const Case cases[] = {
        {Phase::connecting, false, "Cancel"},     {Phase::checking, true, "Cancel"},
        {Phase::checking, false, "Disconnect"},   {Phase::connected, true, "Disconnect"},
        {Phase::checkFailed, true, "Disconnect"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(primaryTitle(Intent::stop, c.phase, c.blocked), QString::fromUtf8(c.title))
            << "phase " << int(c.phase) << " blocked " << c.blocked;
    }
    EXPECT_EQ(title(Phase::checkFailed), QStringLiteral("Connection check failed"));
}
