#include "session/link_phase.hpp"

#include <QCoreApplication>

namespace tessaron {

QString title(TessaronLinkPhase phase) {
    switch (phase) {
    case TessaronLinkPhase::disconnected:
        //: Link status: no tunnel is running.
        return QCoreApplication::translate("TessaronLinkPhase", "Disconnected");
    case TessaronLinkPhase::connecting:
        //: Link status: the tunnel is being started.
        return QCoreApplication::translate("TessaronLinkPhase", "Connecting");
    case TessaronLinkPhase::checking:
        //: Link status: the tunnel is up and its connection to the internet is being tested.
        return QCoreApplication::translate("TessaronLinkPhase", "Checking");
    case TessaronLinkPhase::connected:
        //: Link status: the tunnel is up and reaches the internet.
        return QCoreApplication::translate("TessaronLinkPhase", "Connected");
    case TessaronLinkPhase::checkFailed:
        //: Link status: the tunnel is up but could not reach the internet.
        return QCoreApplication::translate("TessaronLinkPhase", "Connection check failed");
    case TessaronLinkPhase::disconnecting:
        //: Link status: the tunnel is being stopped.
        return QCoreApplication::translate("TessaronLinkPhase", "Disconnecting");
    }
    return {};
}

} // namespace tessaron
