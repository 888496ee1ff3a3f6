#pragma once

#include "session/link_phase.hpp"

#include <QString>

namespace tessaron {

// What the one main button does.
enum class TessaronPrimaryIntent {
    connect,
    stop,
    reviewPrivacy,
    importInvitation,
    signIn,
};

struct PrimaryIntentInputs {
    TessaronLinkPhase phase = TessaronLinkPhase::disconnected;
    bool signedIn = false;
    bool consentGranted = false;
    bool connectionSelected = false;
};

// The first thing standing between the user and a link: a link that is not fully down is stopped first,
// then come the sign-in, the privacy consent and a connection to use.
TessaronPrimaryIntent primaryIntent(const PrimaryIntentInputs& inputs);

// The button's title in the user's language. Stopping a link that never came up ("Cancel") reads
// differently from ending a working one ("Disconnect").
QString primaryTitle(TessaronPrimaryIntent intent, TessaronLinkPhase phase, bool tunnelBlocked);

} // namespace tessaron
