#pragma once

#include "support/manual_clock.hpp"
#include "widgets/frame_clock.hpp"

#include <QCoreApplication>

namespace tessaron::testing {

// The shared frame clock on virtual time, for as long as it lives: whatever moves on screen stands still
// at a known phase until the test advances it. Made before the widgets it should drive, which take the
// shared clock when they are made.
class VirtualFrames {
public:
    VirtualFrames() { TessaronFrameClock::install(&frames); }
    ~VirtualFrames() { TessaronFrameClock::install(nullptr); }
    VirtualFrames(const VirtualFrames&) = delete;
    VirtualFrames& operator=(const VirtualFrames&) = delete;

    // Moves time on a steady frame at a time, letting every paint asked for happen before the next.
    void advance(Clock::Duration span) {
        for (auto passed = Clock::Duration::zero(); passed + steadyFrameInterval <= span;
             passed += steadyFrameInterval) {
            clock.advance(steadyFrameInterval);
            QCoreApplication::sendPostedEvents();
        }
    }

    ManualClock clock;
    TessaronFrameClock frames{clock};
};

} // namespace tessaron::testing
