#include "health/latency_smoother.hpp"

#include <cmath>
#include <cstdlib>

namespace tessaron::LatencySmoother {

namespace {
constexpr int jumpMilliseconds = 400;
constexpr double previousWeight = 0.4;
constexpr double currentWeight = 0.6;
} // namespace

int smooth(std::optional<int> previous, int current) {
    if (!previous)
        return current;
    if (std::abs(static_cast<long long>(current) - *previous) >= jumpMilliseconds)
        return current;
    // std::lround rounds halves away from zero.
    return int(std::lround(*previous * previousWeight + current * currentWeight));
}

} // namespace tessaron::LatencySmoother
