#pragma once

#include "health/latency_probe.hpp"
#include "platform/clock.hpp"
#include "platform/one_shot.hpp"

#include <QHash>
#include <QList>

namespace tessaron::testing {

// Answers at once for hosts given an answer, and holds every other measurement until the test answers it.
class ScriptedLatencyProbe final : public LatencyProbe {
public:
    explicit ScriptedLatencyProbe(Clock& clock)
        : clock_(clock) {}

    void setAnswer(const QString& host, std::optional<int> reply) { answers_.insert(host, reply); }
    void holdAnswers(const QString& host) { answers_.remove(host); }
    // Answers the oldest held measurement of the host.
    void answer(const QString& host, std::optional<int> reply) { held_[host].takeFirst().resume(reply); }

    // When each measurement of the host started, on the monotonic clock.
    QList<Clock::Duration> callTimes(const QString& host) const { return callTimes_.value(host); }
    int callCount() const { return callCount_; }

    QCoro::Task<std::optional<int>> measure(QString host, int) override {
        callTimes_[host].append(clock_.monotonic());
        ++callCount_;
        if (answers_.contains(host))
            co_return answers_.value(host);
        OneShot<std::optional<int>> reply;
        held_[host].append(reply);
        co_return co_await reply;
    }

private:
    Clock& clock_;
    QHash<QString, std::optional<int>> answers_;
    QHash<QString, QList<OneShot<std::optional<int>>>> held_;
    QHash<QString, QList<Clock::Duration>> callTimes_;
    int callCount_ = 0;
};

} // namespace tessaron::testing
