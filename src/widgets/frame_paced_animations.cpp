#include "widgets/frame_paced_animations.hpp"

#include <chrono>
#include <utility>

namespace tessaron {

FramePacedAnimations::~FramePacedAnimations() {
    if (clock_)
        clock_->leave(member_);
}

qint64 FramePacedAnimations::elapsed() const {
    if (!clock_)
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_->clock().monotonic() - startedAt_)
        .count();
}

// The clock is the one in place when the animations start: tests put one of virtual time in place.
void FramePacedAnimations::start() {
    clock_ = &TessaronFrameClock::shared();
    startedAt_ = clock_->clock().monotonic();
    member_ = clock_->join(transitionFrameInterval, [this] { advance(); });
    QAnimationDriver::start();
}

void FramePacedAnimations::stop() {
    if (clock_)
        clock_->leave(std::exchange(member_, 0));
    clock_ = nullptr;
    QAnimationDriver::stop();
}

} // namespace tessaron
