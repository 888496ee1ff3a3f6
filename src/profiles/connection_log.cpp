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

// The entry as one element of the stored array, written as the array's compact JSON writes it.
QByteArray encode(const TessaronConnectionLog::Entry& entry) {
    const QJsonObject object{{atKey, double(entry.at.toMSecsSinceEpoch()) / millisecondsPerSecond},
                             {textKey, entry.text}};
    const QByteArray array = QJsonDocument(QJsonArray{object}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
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

template <typename List> void keepNewest(List& list) {
    if (list.size() > TessaronConnectionLog::capacity)
        list.remove(0, list.size() - TessaronConnectionLog::capacity);
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
    encoded_.append(encode(entries_.last()));
    keepNewest(entries_);
    keepNewest(encoded_);
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
    encoded_.clear();
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
    for (const auto& entry : entries_)
        encoded_.append(encode(entry));
}

void TessaronConnectionLog::persist() {
    preferences_.setValue(storageKey, '[' + encoded_.join(',') + ']');
}

} // namespace tessaron
