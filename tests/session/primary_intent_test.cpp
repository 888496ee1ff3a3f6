#include "session/primary_intent.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using Intent = TessaronPrimaryIntent;
using Phase = TessaronLinkPhase;

TEST(PrimaryIntentTest, TheFirstMissingStepDecides) {
    struct Case {
        PrimaryIntentInputs inputs;
        Intent intent;
    };
    const Case cases[] = {
        {{Phase::disconnected, true, true, true}, Intent::connect},
        {{Phase::disconnected, true, true, false}, Intent::importInvitation},
        {{Phase::disconnected, true, false, true}, Intent::reviewPrivacy},
        {{Phase::disconnected, true, false, false}, Intent::reviewPrivacy},
        {{Phase::disconnected, false, true, true}, Intent::signIn},
        {{Phase::disconnected, false, false, false}, Intent::signIn},
        // Any link that is not fully down is stopped first, even one the user may no longer own.
        {{Phase::connecting, false, false, false}, Intent::stop},
        {{Phase::checking, true, true, true}, Intent::stop},
        {{Phase::connected, true, true, true}, Intent::stop},
        {{Phase::checkFailed, true, true, false}, Intent::stop},
        {{Phase::disconnecting, true, true, true}, Intent::stop},
    };
    for (const auto& c : cases) {
        const auto& in = c.inputs;
        EXPECT_EQ(primaryIntent(in), c.intent)
            << "phase " << int(in.phase) << " signed in " << in.signedIn << " consent " << in.consentGranted
            << " selected " << in.connectionSelected;
    }
}

TEST(PrimaryIntentTest, TitlesTellCancellingFromDisconnecting) {
    struct Case {
        Intent intent;
        Phase phase;
        bool blocked;
        const char* title;
    };
    const Case cases[] = {
        {Intent::stop, Phase::connecting, false, "Cancel"},
        {Intent::stop, Phase::checking, true, "Cancel"},
        {Intent::stop, Phase::checking, false, "Disconnect"},
        {Intent::stop, Phase::connected, false, "Disconnect"},
        {Intent::stop, Phase::connected, true, "Disconnect"},
        {Intent::stop, Phase::checkFailed, true, "Disconnect"},
        {Intent::stop, Phase::disconnecting, false, "Disconnect"},
        {Intent::signIn, Phase::disconnected, false, "Sign in"},
        {Intent::reviewPrivacy, Phase::disconnected, false, "Review privacy"},
        {Intent::importInvitation, Phase::disconnected, false, "Add invitation"},
        {Intent::connect, Phase::disconnected, false, "Connect"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(primaryTitle(c.intent, c.phase, c.blocked), QString::fromUtf8(c.title))
            << "intent " << int(c.intent) << " phase " << int(c.phase) << " blocked " << c.blocked;
    }
}

TEST(PrimaryIntentTest, EveryPhaseHasItsTitle) {
    const std::pair<Phase, const char*> titles[] = {
        {Phase::disconnected, "Disconnected"},
        {Phase::connecting, "Connecting"},
        {Phase::checking, "Checking"},
        {Phase::connected, "Connected"},
        {Phase::checkFailed, "Connection check failed"},
        {Phase::disconnecting, "Disconnecting"},
    };
    for (const auto& [phase, text] : titles)
        EXPECT_EQ(title(phase), QString::fromUtf8(text));
}
