#include "updates/crash_spool.hpp"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTimeZone>

#include <algorithm>
#include <tuple>

namespace tessaron::crash_spool {

namespace {

// One file-backed or anonymous region of the crashed process.
struct Mapping {
    quint64 start = 0;
    quint64 end = 0;
    quint64 fileOffset = 0;
    QString module;
};

// The field at `from` up to the next space, and the position after the spaces that follow it.
std::pair<QByteArrayView, qsizetype> nextField(QByteArrayView line, qsizetype from) {
    qsizetype end = from;
    while (end < line.size() && line[end] != ' ')
        ++end;
    qsizetype next = end;
    while (next < line.size() && line[next] == ' ')
        ++next;
    return {line.sliced(from, end - from), next};
}

// The file name of a mapped path; the path runs to the end of the line and may hold spaces.
QString moduleOf(QByteArrayView path) {
    constexpr QByteArrayView deleted(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    const auto slash = path.lastIndexOf('/');
    return QString::fromUtf8(path.sliced(slash + 1));
}

// "start-end perms offset dev inode [path]"; only the file's name is kept, never its folder.
std::optional<Mapping> mappingOf(QByteArrayView line) {
    QByteArrayView fields[5];
    qsizetype at = 0;
    for (auto& field : fields)
        std::tie(field, at) = nextField(line, at);
    const auto dash = fields[0].indexOf('-');
    bool startOk = false, endOk = false, offsetOk = false;
    Mapping mapping;
    if (dash >= 0) {
        mapping.start = fields[0].first(dash).toULongLong(&startOk, 16);
        mapping.end = fields[0].sliced(dash + 1).toULongLong(&endOk, 16);
    }
    mapping.fileOffset = fields[2].toULongLong(&offsetOk, 16);
    if (!startOk || !endOk || !offsetOk || fields[4].isEmpty() || mapping.end <= mapping.start)
        return std::nullopt;
    mapping.module = moduleOf(line.sliced(at));
    return mapping;
}

bool startsBefore(const Mapping& a, const Mapping& b) {
    return a.start < b.start;
}

// `mappings` sorted by start; the memory map's regions do not overlap.
QJsonObject frameOf(quint64 address, const QList<Mapping>& mappings) {
    const auto after =
        std::upper_bound(mappings.begin(), mappings.end(), address,
                         [](quint64 wanted, const Mapping& mapping) { return wanted < mapping.start; });
    if (after != mappings.begin()) {
        const auto& mapping = *std::prev(after);
        if (address < mapping.end && !mapping.module.isEmpty()) {
            return {{QStringLiteral("module"), mapping.module},
                    {QStringLiteral("offset"), qint64(address - mapping.start + mapping.fileOffset)}};
        }
    }
    // Outside every file: generated code, or a corrupted return address.
    return {{QStringLiteral("module"), QString()}, {QStringLiteral("offset"), qint64(address)}};
}

QByteArray callStackTree(const QList<quint64>& frames, QList<Mapping> mappings) {
    std::sort(mappings.begin(), mappings.end(), startsBefore);
    QJsonArray described;
    for (const auto address : frames)
        described.append(frameOf(address, mappings));
    const QJsonObject thread{{QStringLiteral("crashed"), true}, {QStringLiteral("frames"), described}};
    const QJsonObject tree{{QStringLiteral("threads"), QJsonArray{thread}}};
    return QJsonDocument(tree).toJson(QJsonDocument::Compact);
}

std::optional<qint64> number(QByteArrayView value) {
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

std::optional<qint64> processStartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The command name may hold spaces and parentheses: the fields after it follow the last ')'. The
    // start time is the 22nd field, the 20th after the name.
    const QByteArray line = stat.readAll();
    const auto fields = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() > 19 ? number(fields[19]) : std::nullopt;
}

std::optional<qint64> writerStartTime(const QByteArray& bytes) {
    if (!bytes.startsWith(header))
        return std::nullopt;
    const QByteArrayView rest = QByteArrayView(bytes).sliced(qsizetype(sizeof(header) - 1));
    const QByteArrayView key = "started ";
    const auto lineEnd = rest.indexOf('\n');
    if (!rest.startsWith(key) || lineEnd < 0)
        return std::nullopt;
    return number(rest.sliced(key.size(), lineEnd - key.size()));
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
    const QByteArrayView rest = QByteArrayView(bytes).sliced(qsizetype(sizeof(header) - 1));
    for (qsizetype at = 0; at < rest.size();) {
        const auto lineEnd = rest.indexOf('\n', at);
        const auto line = rest.sliced(at, (lineEnd < 0 ? rest.size() : lineEnd) - at);
        at = lineEnd < 0 ? rest.size() : lineEnd + 1;
        if (line == "end") {
            parsed.complete = true;
            break;
        }
        if (inMaps) {
            const auto mapping = mappings.size() < maxMappings ? mappingOf(line) : std::nullopt;
            if (mapping)
                mappings.append(*mapping);
            continue;
        }
        if (line == "maps") {
            inMaps = true;
            continue;
        }
        const auto space = line.indexOf(' ');
        const auto key = space < 0 ? line : line.first(space);
        const auto value = space < 0 ? QByteArrayView() : line.sliced(space + 1);
        const auto text = [value] {
            return QString::fromUtf8(value);
        };
        if (key == "signal")
            diagnostic.signal = number(value);
        else if (key == "code")
            diagnostic.exceptionCode = number(value);
        else if (key == "time")
            time = number(value);
        else if (key == "reason")
            diagnostic.terminationReason = text();
        else if (key == "version")
            parsed.version = text();
        else if (key == "build")
            meta.applicationBuildVersion = text();
        else if (key == "os")
            meta.osVersion = text();
        else if (key == "arch")
            meta.platformArchitecture = text();
        else if (key == "model")
            meta.deviceType = text();
        else if (key == "frame" && frames.size() < maxFrames) {
            bool ok = false;
            const auto address = value.toULongLong(&ok, 16);
            if (ok)
                frames.append(address);
        }
    }
    if (!diagnostic.signal || !time)
        return std::nullopt;
    parsed.crashedAt = QDateTime::fromSecsSinceEpoch(*time, QTimeZone::utc());
    diagnostic.callStackTree = callStackTree(frames, std::move(mappings));
    return parsed;
}

} // namespace tessaron::crash_spool
