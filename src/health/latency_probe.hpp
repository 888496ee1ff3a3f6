#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tessaron {

// Measures how long one node takes to answer. Many measurements may be in flight at once.
class LatencyProbe {
public:
    virtual ~LatencyProbe() = default;

    // Whole milliseconds, or none when no answer came.
    virtual QCoro::Task<std::optional<int>> measure(QString host, int port) = 0;
};

} // namespace tessaron
