#pragma once

#include <QString>

#include <optional>

namespace tessaron {

// The band a latency figure falls into.
enum class LatencyTier { excellent, good, fair, poor };

// Below 60 ms excellent (negative figures too), below 120 ms good, below 220 ms fair, else poor.
LatencyTier latencyTier(int milliseconds);

// "excellent", "good", "fair" or "poor".
QString rawValue(LatencyTier tier);
// Exactly the four raw values, compared with case; none for any other text.
std::optional<LatencyTier> latencyTierFromRawValue(const QString& text);

} // namespace tessaron
