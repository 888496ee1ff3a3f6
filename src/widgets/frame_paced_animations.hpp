#pragma once

#include "widgets/frame_clock.hpp"

#include <QAnimationDriver>

namespace tessaron {

// Qt's own animations (crossfades, springs, a pill's change) advance on the shared frame clock's tick, with
// every other moving part, instead of on Qt's timer of their own: a frame is then one paint pass, where two
// timers a few milliseconds apart would each ask for one. Their time is the frame clock's. Installed for the
// application's life; a driver that goes uninstalls itself.
class FramePacedAnimations final : public QAnimationDriver {
    Q_OBJECT
public:
    FramePacedAnimations() = default;
    ~FramePacedAnimations() override;
    qint64 elapsed() const override;

protected:
    void start() override;
    void stop() override;

private:
    TessaronFrameClock* clock_ = nullptr;
    TessaronFrameClock::Member member_ = 0;
    Clock::Duration startedAt_{};
};

} // namespace tessaron
