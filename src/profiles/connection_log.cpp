#include "profiles/connection_log.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/system_clock.hpp"
#include "profiles/redaction.hpp"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tessaron {

namespace {

const QString atKey = QStringLiteral("at");
const QString textKey = QStringLiteral("text");
constexpr double millisecondsPerSecond = 1000.0;
// Far beyond any real stamp, yet safely inside what QDateTime and a 64-bit millisecond count hold.
constexpr double latestStampSeconds = 1e13;

QJsonObject encode(const TessaronConnectionLog::Entry& entry) {
    return {{atKey, double(entry.at.toMSecsSinceEpoch()) / millisecondsPerSecond}, {textKey, entry.text}};
}

std::optional<TessaronConnectionLog::Entry> decode(const QJsonValue& value) {
    const auto object = value.toObject();
    const auto at = object.value(atKey);
    const auto text = object.value(textKey);
    const double seconds = at.toDouble();
    if (!at.isDouble() || !(std::fabs(seconds) < latestStampSeconds) || !text.isString())
        return std::nullopt;
    const auto milliseconds = std::llround(seconds * millisecondsPerSecond);
    return TessaronConnectionLog::Entry{QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC),
                                        text.toString()};
}

void keepNewest(TessaronConnectionLog::Entries& entries) {
    if (entries.size() > TessaronConnectionLog::capacity)
        entries.remove(0, entries.size() - TessaronConnectionLog::capacity);
}

} // namespace

TessaronConnectionLog::TessaronConnectionLog(Preferences& preferences, Clock& clock, QObject* parent)
    : QObject(parent)
    , preferences_(preferences)
    , clock_(clock) {
    restore();
}

TessaronConnectionLog& TessaronConnectionLog::shared() {
    static auto* log =
        new TessaronConnectionLog(standardPreferences(), SystemClock::shared(), QCoreApplication::instance());
    return *log;
}

void TessaronConnectionLog::append(const QString& line) {
    entries_.append(Entry{clock_.now(), redactPersonalData(line)});
    keepNewest(entries_);
    persist();
    Q_EMIT entriesChanged(entries_);
}

QString TessaronConnectionLog::exportText() const {
    QStringList lines;
    lines.reserve(entries_.size());
    for (const auto& entry : entries_) {
        // QDateTime's format codes are locale-independent, as the export must be.
        lines.append(entry.at.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  ") +
                     entry.text);
    }
    return lines.join(u'\n');
}

void TessaronConnectionLog::clear() {
    entries_.clear();
    preferences_.remove(storageKey);
    Q_EMIT entriesChanged(entries_);
}

void TessaronConnectionLog::restore() {
    const auto stored = preferences_.data(storageKey);
    if (!stored)
        return;
    const auto document = QJsonDocument::fromJson(*stored);
    Entries restored;
    for (const auto& value : document.array()) {
        auto entry = decode(value);
        if (!entry)
            return;
        restored.append(std::move(*entry));
    }
    keepNewest(restored);
    entries_ = std::move(restored);
}

void TessaronConnectionLog::persist() {
    QJsonArray array;
    for (const auto& entry : entries_)
        array.append(encode(entry));
    preferences_.setValue(storageKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
}

} // namespace tessaron
