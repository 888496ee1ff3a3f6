#pragma once

#include "platform/clock.hpp"

#include <QObject>

#include <chrono>

#include <map>
#include <memory>

class QTimer;

namespace tessaron {

// The production clock: wall time from the system, deadlines on Qt timers of the owning thread.
class SystemClock final : public QObject, public Clock {
    Q_OBJECT
public:
    explicit SystemClock(QObject* parent = nullptr);
    ~SystemClock() override;

    // The clock of the main thread, created on first use.
    static SystemClock& shared();

    QDateTime now() const override;
    Duration monotonic() const override;
    TimerId schedule(Duration deadline, Duration tolerance, std::function<void()> fire) override;
    void unschedule(TimerId id) override;

    // How a deadline `remaining` away is first armed: a coarse timer where the tolerance allows one, so
    // the system can batch wake-ups. A timer that fires early is re-armed precisely for the rest.
    struct Arming {
        std::chrono::milliseconds interval;
        Qt::TimerType type;
        bool operator==(const Arming&) const = default;
    };
    static Arming firstArming(Duration remaining, Duration tolerance);

private:
    struct Entry;
    void fire(TimerId id);

    TimerId nextId_ = 1;
    std::map<TimerId, std::unique_ptr<Entry>> entries_;
};

} // namespace tessaron
