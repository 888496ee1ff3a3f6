#include "node_script.hpp"

#include <cmath>

namespace tessaron {

namespace {
const QString stayConnectingField = QStringLiteral("stayConnecting");
const QString failWithField = QStringLiteral("failWith");
const QString blockedAfterField = QStringLiteral("blockedAfter");

// Seconds that make a delay: beyond a day no test waits, and larger numbers overflow the clock's units.
bool isDelay(double seconds) {
    constexpr double day = 24 * 60 * 60;
    return std::isfinite(seconds) && seconds >= 0 && seconds <= day;
}
} // namespace

std::optional<NodeScript> NodeScript::fromJson(const QJsonObject& object) {
    NodeScript script;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto value = it.value();
        if (it.key() == stayConnectingField && value.isBool()) {
            script.stayConnecting = value.toBool();
        } else if (it.key() == failWithField && value.isDouble() &&
                   value.toDouble() == std::trunc(value.toDouble())) {
            script.failWith = value.toInteger();
        } else if (it.key() == blockedAfterField && value.isDouble() && isDelay(value.toDouble())) {
            script.blockedAfter = std::chrono::milliseconds(std::llround(value.toDouble() * 1000));
        } else {
            return std::nullopt;
        }
    }
    return script;
}

QJsonObject NodeScript::toJson() const {
    QJsonObject object;
    if (stayConnecting)
        object.insert(stayConnectingField, true);
    if (failWith)
        object.insert(failWithField, *failWith);
    if (blockedAfter)
        object.insert(blockedAfterField, double(blockedAfter->count()) / 1000);
    return object;
}

} // namespace tessaron
