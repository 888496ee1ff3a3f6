#pragma once

#include "platform/clock.hpp"

#include <functional>
#include <map>
#include <memory>

namespace tessaron {

// Seconds since 2001-01-01 00:00 UTC: every moving picture derives its frame from this, so that separate
// rings turn in step.
double frameDate(const QDateTime& date);

// The pace of a moving picture: turns and reveals at the display's pace, a steady glide (spin, rings,
// spinners) at a quarter of it, where each frame moves too little for more to show.
inline constexpr Clock::Duration transitionFrameInterval{1'000'000'000 / 60};
inline constexpr Clock::Duration steadyFrameInterval{1'000'000'000 / 15};

// The one tick that everything moving on screen advances on, so that a frame is one paint-and-flush pass
// for all of them. It runs at the pace of its fastest member and only while it has members: nothing ticks
// while nothing moves. Every interval is a whole number of the fastest one, so slower members fall on
// the same ticks.
class TessaronFrameClock final {
public:
    using Member = quint64;

    explicit TessaronFrameClock(Clock& clock);
    ~TessaronFrameClock();
    TessaronFrameClock(const TessaronFrameClock&) = delete;
    TessaronFrameClock& operator=(const TessaronFrameClock&) = delete;

    // The application's frame clock, on the system clock, unless another one was put in its place.
    static TessaronFrameClock& shared();
    // Puts `clock` in the shared one's place (tests drive virtual time); null puts the system's back.
    static void install(TessaronFrameClock* clock);

    Clock& clock() const { return clock_; }
    // The frame date now.
    double date() const;

    // `frame` runs on the ticks that fall `interval` apart, from the next one on.
    Member join(Clock::Duration interval, std::function<void()> frame);
    void setInterval(Member member, Clock::Duration interval);
    void leave(Member member);

    bool isTicking() const { return timer_ != nullptr; }
    Clock::Duration tickInterval() const;
    std::size_t memberCount() const { return members_.size(); }

private:
    struct Entry {
        Clock::Duration interval;
        Clock::Duration last;
        std::function<void()> frame;
    };

    void retime();
    void tick();

    Clock& clock_;
    std::map<Member, Entry> members_;
    Member next_ = 1;
    std::unique_ptr<RepeatingTimer> timer_;
};

} // namespace tessaron
