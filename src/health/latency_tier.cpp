#include "health/latency_tier.hpp"

#include <array>

namespace tessaron {

namespace {
constexpr std::array allTiers{LatencyTier::excellent, LatencyTier::good, LatencyTier::fair,
                              LatencyTier::poor};
} // namespace

LatencyTier latencyTier(int milliseconds) {
    if (milliseconds < 60)
        return LatencyTier::excellent;
    if (milliseconds < 120)
        return LatencyTier::good;
    if (milliseconds < 220)
        return LatencyTier::fair;
    return LatencyTier::poor;
}

QString rawValue(LatencyTier tier) {
    switch (tier) {
    case LatencyTier::excellent:
        return QStringLiteral("excellent");
    case LatencyTier::good:
        return QStringLiteral("good");
    case LatencyTier::fair:
        return QStringLiteral("fair");
    case LatencyTier::poor:
        return QStringLiteral("poor");
    }
    Q_UNREACHABLE();
}

std::optional<LatencyTier> latencyTierFromRawValue(const QString& text) {
    for (const auto tier : allTiers) {
        if (rawValue(tier) == text)
            return tier;
    }
    return std::nullopt;
}

} // namespace tessaron
