#pragma once

#include "session/link_phase.hpp"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

namespace tessaron {

// The connection state as the main window draws it.
enum class TessaronVisualState { idle, connecting, checking, online, failed };

QList<TessaronVisualState> allVisualStates();
QString rawValue(TessaronVisualState state);
// Exactly the five lowercase raw values; anything else gives none.
std::optional<TessaronVisualState> visualState(const QString& rawValue);

// A stop in progress already reads as idle; only a verified link is online.
TessaronVisualState visualState(TessaronLinkPhase phase);

QString statusTitle(TessaronVisualState state);
QString accessibilitySummary(TessaronVisualState state);
QString primaryButtonTitle(TessaronVisualState state);
QString primaryButtonHint(TessaronVisualState state);
QColor tint(TessaronVisualState state);
bool isBusy(TessaronVisualState state);

} // namespace tessaron
