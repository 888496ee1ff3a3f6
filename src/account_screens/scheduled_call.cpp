#include "account_screens/scheduled_call.hpp"

namespace tessaron {

void ScheduledCall::start(Clock::Duration delay, std::function<void()> call) {
    cancel();
    id_ =
        clock_.schedule(clock_.monotonic() + delay, Clock::Duration::zero(), [this, call = std::move(call)] {
            id_ = 0;
            call();
        });
}

void ScheduledCall::cancel() {
    if (id_ != 0)
        clock_.unschedule(id_);
    id_ = 0;
}

} // namespace tessaron
