#include "session/primary_intent.hpp"

#include <QCoreApplication>

namespace tessaron {

TessaronPrimaryIntent primaryIntent(const PrimaryIntentInputs& inputs) {
    if (inputs.phase != TessaronLinkPhase::disconnected)
        return TessaronPrimaryIntent::stop;
    if (!inputs.signedIn)
        return TessaronPrimaryIntent::signIn;
    if (!inputs.consentGranted)
        return TessaronPrimaryIntent::reviewPrivacy;
    if (!inputs.connectionSelected)
        return TessaronPrimaryIntent::importInvitation;
    return TessaronPrimaryIntent::connect;
}

namespace {

bool linkNeverCameUp(TessaronLinkPhase phase, bool tunnelBlocked) {
    return phase == TessaronLinkPhase::connecting || (phase == TessaronLinkPhase::checking && tunnelBlocked);
}

} // namespace

QString primaryTitle(TessaronPrimaryIntent intent, TessaronLinkPhase phase, bool tunnelBlocked) {
    switch (intent) {
    case TessaronPrimaryIntent::stop:
        if (linkNeverCameUp(phase, tunnelBlocked)) {
            //: Main button while a link is being built: give up on it.
            return QCoreApplication::translate("TessaronPrimaryIntent", "Cancel");
        }
        //: Main button while a link is up: end it.
        return QCoreApplication::translate("TessaronPrimaryIntent", "Disconnect");
    case TessaronPrimaryIntent::signIn:
        //: Main button when no account is signed in.
        return QCoreApplication::translate("TessaronPrimaryIntent", "Sign in");
    case TessaronPrimaryIntent::reviewPrivacy:
        //: Main button when the privacy terms have not been accepted yet.
        return QCoreApplication::translate("TessaronPrimaryIntent", "Review privacy");
    case TessaronPrimaryIntent::importInvitation:
        //: Main button when there is no saved connection to use.
        return QCoreApplication::translate("TessaronPrimaryIntent", "Add invitation");
    case TessaronPrimaryIntent::connect:
        //: Main button that starts the link.
        return QCoreApplication::translate("TessaronPrimaryIntent", "Connect");
    }
    return {};
}

} // namespace tessaron
