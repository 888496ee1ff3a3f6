#include "updates/crash_spool.hpp"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTimeZone>

namespace tessaron::crash_spool {

namespace {

// One file-backed or anonymous region of the crashed process.
struct Mapping {
    quint64 start = 0;
    quint64 end = 0;
    quint64 fileOffset = 0;
    QString module;
};

// "start-end perms offset dev inode [path]"; only the file's name is kept, never its folder.
std::optional<Mapping> mappingOf(const QByteArray& line) {
    const auto fields = line.simplified().split(' ');
    if (fields.size() < 5)
        return std::nullopt;
    const auto range = fields[0].split('-');
    bool startOk = false, endOk = false, offsetOk = false;
    Mapping mapping;
    if (range.size() == 2) {
        mapping.start = range[0].toULongLong(&startOk, 16);
        mapping.end = range[1].toULongLong(&endOk, 16);
    }
    mapping.fileOffset = fields[2].toULongLong(&offsetOk, 16);
    if (!startOk || !endOk || !offsetOk)
        return std::nullopt;
    if (fields.size() >= 6)
        mapping.module = QFileInfo(QString::fromUtf8(fields[5])).fileName();
    return mapping;
}

QJsonObject frameOf(quint64 address, const QList<Mapping>& mappings) {
    for (const auto& mapping : mappings) {
        if (address >= mapping.start && address < mapping.end && !mapping.module.isEmpty()) {
            return {{QStringLiteral("module"), mapping.module},
                    {QStringLiteral("offset"), qint64(address - mapping.start + mapping.fileOffset)}};
        }
    }
    // Outside every file: generated code, or a corrupted return address.
    return {{QStringLiteral("module"), QString()}, {QStringLiteral("offset"), qint64(address)}};
}

QByteArray callStackTree(const QList<quint64>& frames, const QList<Mapping>& mappings) {
    QJsonArray described;
    for (const auto address : frames)
        described.append(frameOf(address, mappings));
    const QJsonObject thread{{QStringLiteral("crashed"), true}, {QStringLiteral("frames"), described}};
    const QJsonObject tree{{QStringLiteral("threads"), QJsonArray{thread}}};
    return QJsonDocument(tree).toJson(QJsonDocument::Compact);
}

std::optional<qint64> number(const QByteArray& value) {
    bool ok = false;
    const qint64 parsed = value.toLongLong(&ok, 10);
    return ok ? std::optional(parsed) : std::nullopt;
}

} // namespace

std::optional<qint64> writerOf(const QString& fileName) {
    if (!fileName.startsWith(QLatin1String(prefix)) || !fileName.endsWith(QLatin1String(extension)))
        return std::nullopt;
    const auto middle = QStringView(fileName).sliced(qsizetype(sizeof(prefix) - 1));
    const auto stem = middle.chopped(qsizetype(sizeof(extension) - 1));
    const auto parts = stem.split(u'-');
    bool ok = false;
    const qint64 pid = parts.front().toLongLong(&ok, 10);
    return ok && pid > 0 && parts.size() <= 2 ? std::optional(pid) : std::nullopt;
}

std::optional<Parsed> parse(const QByteArray& bytes) {
    if (!bytes.startsWith(header))
        return std::nullopt;
    Parsed parsed;
    auto& diagnostic = parsed.diagnostic;
    auto& meta = diagnostic.metaData;
    QList<quint64> frames;
    QList<Mapping> mappings;
    bool inMaps = false;
    std::optional<qint64> time;
    const auto lines = bytes.sliced(qsizetype(sizeof(header) - 1)).split('\n');
    for (const auto& line : lines) {
        if (line == "end") {
            parsed.complete = true;
            break;
        }
        if (inMaps) {
            if (const auto mapping = mappingOf(line))
                mappings.append(*mapping);
            continue;
        }
        if (line == "maps") {
            inMaps = true;
            continue;
        }
        const auto space = line.indexOf(' ');
        const auto key = line.left(space);
        const auto value = space < 0 ? QByteArray() : line.sliced(space + 1);
        const auto text = QString::fromUtf8(value);
        if (key == "signal")
            diagnostic.signal = number(value);
        else if (key == "code")
            diagnostic.exceptionCode = number(value);
        else if (key == "time")
            time = number(value);
        else if (key == "reason")
            diagnostic.terminationReason = text;
        else if (key == "version")
            parsed.version = text;
        else if (key == "build")
            meta.applicationBuildVersion = text;
        else if (key == "os")
            meta.osVersion = text;
        else if (key == "arch")
            meta.platformArchitecture = text;
        else if (key == "model")
            meta.deviceType = text;
        else if (key == "frame") {
            bool ok = false;
            const auto address = value.toULongLong(&ok, 16);
            if (ok)
                frames.append(address);
        }
    }
    if (!diagnostic.signal || !time)
        return std::nullopt;
    parsed.crashedAt = QDateTime::fromSecsSinceEpoch(*time, QTimeZone::utc());
    diagnostic.callStackTree = callStackTree(frames, mappings);
    return parsed;
}

} // namespace tessaron::crash_spool
