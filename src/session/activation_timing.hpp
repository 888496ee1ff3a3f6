#pragma once

#include "platform/clock.hpp"

#include <QUuid>

#include <functional>

namespace tessaron {

// The timers of an extension activation: one-shot actions, each known by its id. A fired timer stays known
// until it is cancelled or everything is.
class ActivationTiming {
public:
    using Action = std::function<void()>;

    virtual ~ActivationTiming() = default;

    // Runs `action` once `delay` has passed.
    virtual QUuid schedule(Clock::Duration delay, Action action) = 0;
    // Does nothing for an id it does not know.
    virtual void cancel(const QUuid& id) = 0;
    virtual void cancelAll() = 0;
};

} // namespace tessaron
