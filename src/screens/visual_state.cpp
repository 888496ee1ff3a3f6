#include "screens/visual_state.hpp"

#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>

namespace tessaron {

namespace {

QString text(const char* key, const char* comment) {
    return QCoreApplication::translate("Tessaron", key, comment);
}

} // namespace

QList<TessaronVisualState> allVisualStates() {
    using enum TessaronVisualState;
    return {idle, connecting, checking, online, failed};
}

QString rawValue(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::idle:
        return QStringLiteral("idle");
    case TessaronVisualState::connecting:
        return QStringLiteral("connecting");
    case TessaronVisualState::checking:
        return QStringLiteral("checking");
    case TessaronVisualState::online:
        return QStringLiteral("online");
    case TessaronVisualState::failed:
        return QStringLiteral("failed");
    }
    return {};
}

std::optional<TessaronVisualState> visualState(const QString& raw) {
    for (const auto state : allVisualStates()) {
        if (rawValue(state) == raw)
            return state;
    }
    return std::nullopt;
}

TessaronVisualState visualState(TessaronLinkPhase phase) {
    switch (phase) {
    case TessaronLinkPhase::connecting:
        return TessaronVisualState::connecting;
    case TessaronLinkPhase::checking:
        return TessaronVisualState::checking;
    case TessaronLinkPhase::connected:
        return TessaronVisualState::online;
    case TessaronLinkPhase::checkFailed:
        return TessaronVisualState::failed;
    case TessaronLinkPhase::disconnected:
    case TessaronLinkPhase::disconnecting:
        break;
    }
    return TessaronVisualState::idle;
}

QString statusTitle(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::idle:
        return text("Not connected", "Status when no link is active.");
    case TessaronVisualState::connecting:
        return text("Connecting", "Status while a link attempt is in progress.");
    case TessaronVisualState::checking:
        return text("Checking", "Status while a link is being verified.");
    case TessaronVisualState::online:
        return text("Online", "Status after the link is up. Use only for a verified link.");
    case TessaronVisualState::failed:
        return text("Failed", "Status when a link attempt did not complete.");
    }
    return {};
}

QString accessibilitySummary(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::idle:
        return text("Not connected. No link is active from this device through Tessaron.",
                    "Accessibility summary for the idle connection hero.");
    case TessaronVisualState::connecting:
        return text("Connecting. A link from this device through Tessaron is in progress.",
                    "Accessibility summary while connecting.");
    case TessaronVisualState::checking:
        return text("Checking. The link from this device through Tessaron is being verified.",
                    "Accessibility summary while checking the link.");
    case TessaronVisualState::online:
        return text("Online. This device is linked to the internet through Tessaron.",
                    "Accessibility summary for a verified online link.");
    case TessaronVisualState::failed:
        return text("Failed. The link from this device through Tessaron did not complete.",
                    "Accessibility summary when a link attempt fails.");
    }
    return {};
}

QString primaryButtonTitle(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::connecting:
    case TessaronVisualState::checking:
        return text("Cancel", "Primary button title while a link attempt or check is in progress.");
    case TessaronVisualState::online:
        return text("Disconnect", "Primary button title when a link is up.");
    case TessaronVisualState::idle:
    case TessaronVisualState::failed:
        break;
    }
    return text("Connect", "Primary button title when no link is active.");
}

QString primaryButtonHint(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::connecting:
        return text("Cancels the connection attempt.", "Accessibility hint for cancel while connecting.");
    case TessaronVisualState::checking:
        return text("Cancels the connection check.", "Accessibility hint for cancel while checking.");
    case TessaronVisualState::online:
        return text("Disconnects the link from this device through Tessaron.",
                    "Accessibility hint for the disconnect button.");
    case TessaronVisualState::idle:
    case TessaronVisualState::failed:
        break;
    }
    return text("Requests a connection from this device through Tessaron.",
                "Accessibility hint for the connect button.");
}

QColor tint(TessaronVisualState state) {
    switch (state) {
    case TessaronVisualState::idle:
        return TessaronTheme::textSecondary();
    case TessaronVisualState::connecting:
        return TessaronTheme::textPrimary();
    case TessaronVisualState::checking:
        return TessaronTheme::warning();
    case TessaronVisualState::online:
        return TessaronTheme::success();
    case TessaronVisualState::failed:
        return TessaronTheme::danger();
    }
    return TessaronTheme::textSecondary();
}

bool isBusy(TessaronVisualState state) {
    return state == TessaronVisualState::connecting || state == TessaronVisualState::checking;
}

} // namespace tessaron
