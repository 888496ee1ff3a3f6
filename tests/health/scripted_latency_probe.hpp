#pragma once

#include "health/latency_probe.hpp"
#include "platform/clock.hpp"
#include "platform/one_shot.hpp"

#include <QHash>
#include <QList>
#include <QStringList>

namespace tessaron::testing {

// Answers at once for hosts given an answer, and holds every other measurement until the test answers it.
class ScriptedLatencyProbe final : public LatencyProbe {
public:
    struct Call {
        QString host;
        Clock::Duration at;
    };

    explicit ScriptedLatencyProbe(Clock& clock)
        : clock_(clock) {}

    void setAnswer(const QString& host, std::optional<int> milliseconds) {
        answers_.insert(host, milliseconds);
    }
    void holdAnswers(const QString& host) { answers_.remove(host); }

    // Answers the oldest held measurement of the host; false when none is held.
    bool answer(const QString& host, std::optional<int> milliseconds) {
        for (qsizetype i = 0; i < held_.size(); ++i) {
            if (held_[i].first == host) {
                const auto reply = held_.takeAt(i).second;
                reply.resume(milliseconds);
                return true;
            }
        }
        return false;
    }

    const QList<Call>& calls() const { return calls_; }
    QStringList hostsCalled() const {
        QStringList hosts;
        for (const auto& call : calls_)
            hosts.append(call.host);
        return hosts;
    }
    qsizetype heldCount() const { return held_.size(); }

    QCoro::Task<std::optional<int>> measure(QString host, int) override {
        calls_.append({host, clock_.monotonic()});
        if (answers_.contains(host))
            co_return answers_.value(host);
        OneShot<std::optional<int>> reply;
        held_.append({host, reply});
        co_return co_await reply;
    }

private:
    Clock& clock_;
    QHash<QString, std::optional<int>> answers_;
    QList<QPair<QString, OneShot<std::optional<int>>>> held_;
    QList<Call> calls_;
};

} // namespace tessaron::testing
