#pragma once

#include "platform/clock.hpp"
#include "platform/system_log.hpp"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tessaron::fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A broken property is a finding: report it and abort, so libFuzzer keeps the input.
inline void require(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

inline QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Stamps never move, so the names of files kept aside repeat and runs are reproducible.
class FixedClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC); }
    Duration monotonic() const override { return Duration::zero(); }
    TimerId schedule(Duration, Duration, std::function<void()>) override { return 0; }
    void unschedule(TimerId) override {}
};

// Collects the log lines one input causes instead of writing them to the journal.
using QuietLog = SystemLog::Capture;

} // namespace tessaron::fuzz
