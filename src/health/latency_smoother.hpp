#pragma once

#include <optional>

namespace tessaron::LatencySmoother {

// Damps the jitter of successive connect times of one node, but lets a jump of 400 ms or more replace the
// old figure at once: a node that really got slower or faster should show it without delay.
int smooth(std::optional<int> previous, int current);

} // namespace tessaron::LatencySmoother
