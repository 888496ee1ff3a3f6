#pragma once

#include "platform/clock.hpp"
#include "platform/system_log.hpp"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

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

// The input as the only file of `folder`, emptied for each run; nothing when the file could not be written.
inline std::optional<QString> inputFile(const QTemporaryDir& folder, const QString& name, const uint8_t* data,
                                        size_t size) {
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes(data, size)) != qint64(size))
        return std::nullopt;
    return path;
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
