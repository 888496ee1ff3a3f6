#pragma once

#include "platform/system_log.hpp"
#include "support/manual_clock.hpp"

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

// Runs `body`; an input the parser refuses with one of the given errors is an ordinary outcome.
template <typename Refusal, typename... Others, typename Body> void unlessRefused(const Body& body) {
    try {
        if constexpr (sizeof...(Others) == 0)
            body();
        else
            unlessRefused<Others...>(body);
    } catch (const Refusal&) {
    }
}

// A reply decodes from its own compact encoding to itself.
template <typename Reply, typename... Refusals>
void requireReplyRoundTrip(const QByteArray& input, const char* property) {
    unlessRefused<Refusals...>([&] {
        const auto reply = Reply::decode(input);
        require(Reply::decode(QJsonDocument(reply.toJSON()).toJson(QJsonDocument::Compact)) == reply,
                property);
    });
}

// A clock nobody advances: stamps never move, so the names of files kept aside repeat and runs are
// reproducible.
using FixedClock = testing::ManualClock;

// Collects the log lines one input causes instead of writing them to the journal.
using QuietLog = SystemLog::Capture;

} // namespace tessaron::fuzz
