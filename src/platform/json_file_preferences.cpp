#include "platform/json_file_preferences.hpp"

#include "platform/private_files.hpp"
#include "platform/system_clock.hpp"
#include "platform/system_log.hpp"
#include "platform/write_behind.hpp"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QStandardPaths>

#include <chrono>
#include <stdexcept>

#include <sys/stat.h>

namespace tessaron {

namespace {

using Type = Preferences::Type;

// Every stored value is {"type": <name>, "value": <content>}. Integers and numbers are decimal text:
// a JSON number is a double, which rounds integers beyond 2^53 and has no infinity.
const QString typeField = QStringLiteral("type");
const QString valueField = QStringLiteral("value");

constexpr std::pair<Type, const char*> typeNames[] = {
    {Type::boolean, "boolean"}, {Type::integer, "integer"},
    {Type::number, "number"},   {Type::text, "text"},
    {Type::data, "data"},       {Type::date, "date"},
    {Type::array, "array"},     {Type::dictionary, "dictionary"},
};

QString nameOf(Type type) {
    for (const auto& [candidate, name] : typeNames) {
        if (candidate == type)
            return QString::fromLatin1(name);
    }
    throw std::invalid_argument("a preference value of this type cannot be stored");
}

std::optional<Type> typeNamed(const QString& name) {
    for (const auto& [type, candidate] : typeNames) {
        if (name == QLatin1String(candidate))
            return type;
    }
    return std::nullopt;
}

QJsonObject encode(const QVariant& value);

QJsonValue encodeContent(const QVariant& value, Type type) {
    switch (type) {
    case Type::boolean:
        return value.toBool();
    case Type::integer:
        return QString::number(value.toLongLong());
    case Type::number:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case Type::text:
        return value.toString();
    case Type::data:
        return QString::fromLatin1(value.toByteArray().toBase64());
    case Type::date: {
        const auto text = value.toDateTime().toUTC().toString(Qt::ISODateWithMs);
        if (text.isEmpty())
            throw std::invalid_argument("a preference date must fall in the years 0 to 9999");
        return text;
    }
    case Type::array: {
        QJsonArray elements;
        for (const auto& element : value.toList())
            elements.append(encode(element));
        return elements;
    }
    case Type::dictionary: {
        QJsonObject entries;
        const auto map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            entries.insert(it.key(), encode(it.value()));
        return entries;
    }
    case Type::none:
        break;
    }
    throw std::invalid_argument("a preference value of this type cannot be stored");
}

QJsonObject encode(const QVariant& value) {
    const auto type = Preferences::typeOf(value);
    return {{typeField, nameOf(type)}, {valueField, encodeContent(value, type)}};
}

std::optional<QVariant> decode(const QJsonValue& stored);

std::optional<QVariantMap> decodeEntries(const QJsonObject& entries) {
    QVariantMap values;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        auto value = decode(it.value());
        if (!value)
            return std::nullopt;
        values.insert(it.key(), *value);
    }
    return values;
}

std::optional<QVariant> decodeList(const QJsonArray& stored) {
    QVariantList elements;
    for (const auto& element : stored) {
        auto value = decode(element);
        if (!value)
            return std::nullopt;
        elements.append(*value);
    }
    return elements;
}

// Text that does not parse as its tag says makes the entry bad; a text never turns into another type.
std::optional<QVariant> decodeContent(Type type, const QJsonValue& content) {
    const auto text = content.toString();
    bool ok = false;
    switch (type) {
    case Type::boolean:
        return content.isBool() ? std::optional<QVariant>(content.toBool()) : std::nullopt;
    case Type::integer: {
        const auto whole = text.toLongLong(&ok);
        return ok ? std::optional<QVariant>(QVariant::fromValue(whole)) : std::nullopt;
    }
    case Type::number: {
        const auto number = text.toDouble(&ok);
        return ok ? std::optional<QVariant>(number) : std::nullopt;
    }
    case Type::text:
        return content.isString() ? std::optional<QVariant>(text) : std::nullopt;
    case Type::data: {
        auto bytes = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        return content.isString() && bytes ? std::optional<QVariant>(*bytes) : std::nullopt;
    }
    case Type::date: {
        const auto date = QDateTime::fromString(text, Qt::ISODateWithMs);
        return date.isValid() ? std::optional<QVariant>(date.toUTC()) : std::nullopt;
    }
    case Type::array:
        return content.isArray() ? decodeList(content.toArray()) : std::nullopt;
    case Type::dictionary:
        if (!content.isObject())
            return std::nullopt;
        if (auto entries = decodeEntries(content.toObject()))
            return *entries;
        return std::nullopt;
    case Type::none:
        break;
    }
    return std::nullopt;
}

std::optional<QVariant> decode(const QJsonValue& stored) {
    const auto object = stored.toObject();
    const auto type = typeNamed(object.value(typeField).toString());
    if (!type || !object.contains(valueField))
        return std::nullopt;
    return decodeContent(*type, object.value(valueField));
}

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("preferences"));
    return log;
}

QString fileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

// Long enough that the lines of one connection attempt share a write, short enough that a crash costs
// little.
constexpr std::chrono::milliseconds gatheringTime{250};

} // namespace

JsonFilePreferences::JsonFilePreferences(QString path, const Clock& clock, Writing writing,
                                         FileWriter writeFile)
    : path_(std::move(path))
    , clock_(clock)
    , writeFile_(writeFile ? std::move(writeFile) : FileWriter(writePrivateFile)) {
    // Made first, so that a store that lives until the process ends can still report its last write.
    log();
    tightenPrivateFile(path_);
    if (writing == Writing::behind)
        writeBehind_ = std::make_unique<WriteBehind>([this] { writePending(); }, gatheringTime);
}

JsonFilePreferences::~JsonFilePreferences() {
    flush();
}

void JsonFilePreferences::flush() {
    if (!writeBehind_)
        return;
    {
        // Also what a failed write left: it gets another try.
        std::lock_guard guard(mutex_);
        if (!pending_.isEmpty() || repairPending_)
            writeBehind_->request();
    }
    writeBehind_->flush();
}

QVariant JsonFilePreferences::value(const QString& key) const {
    std::lock_guard guard(mutex_);
    refresh();
    repairIfNeeded();
    return values_.value(key);
}

QStringList JsonFilePreferences::keys() const {
    std::lock_guard guard(mutex_);
    refresh();
    repairIfNeeded();
    return values_.keys();
}

void JsonFilePreferences::remove(const QString& key) {
    change(key, std::nullopt);
}

void JsonFilePreferences::store(const QString& key, const QVariant& normalizedValue) {
    // Encoded before anything changes, so a value that cannot be written leaves the store as it was.
    change(key, Change{encode(normalizedValue), normalizedValue});
}

std::optional<JsonFilePreferences::FileStamp> JsonFilePreferences::stampOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileStamp{
        .device = status.st_dev,
        .inode = status.st_ino,
        .size = status.st_size,
        .modifiedNanoseconds = qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
    };
}

void JsonFilePreferences::refresh() const {
    auto current = stampOf(path_);
    if (loaded_ && current == stamp_)
        return;
    stamp_ = std::move(current);
    loaded_ = true;
    load();
    applyPending();
}

void JsonFilePreferences::load() const {
    entries_ = {};
    values_ = {};
    repairPending_ = false;
    if (!stamp_)
        return;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        log().error(QStringLiteral("cannot read preferences %1").arg(fileNameOf(path_)));
        return;
    }
    const auto original = file.readAll();
    file.close();
    const auto document = QJsonDocument::fromJson(original);
    if (!document.isObject()) {
        keepDamagedFileAside();
        return;
    }
    // One entry that cannot be read must not cost the others.
    QStringList dropped;
    const auto stored = document.object();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (auto value = decode(it.value())) {
            entries_.insert(it.key(), it.value());
            values_.insert(it.key(), std::move(*value));
        } else {
            dropped.append(it.key());
        }
    }
    if (!dropped.isEmpty())
        dropEntries(dropped, original);
}

void JsonFilePreferences::keepDamagedFileAside() const {
    if (const auto aside = moveAside(path_, clock_)) {
        log().error(QStringLiteral("kept damaged preferences aside as %1").arg(fileNameOf(*aside)));
        stamp_ = stampOf(path_);
    } else {
        log().error(QStringLiteral("cannot move damaged preferences %1 aside").arg(fileNameOf(path_)));
    }
}

void JsonFilePreferences::dropEntries(const QStringList& keys, const QByteArray& original) const {
    for (const auto& key : keys)
        log().error(
            QStringLiteral("dropped the unreadable preference %1 from %2").arg(key, fileNameOf(path_)));
    if (const auto aside = copyAside(path_, original, clock_))
        log().error(QStringLiteral("kept the original preferences aside as %1").arg(fileNameOf(*aside)));
    else
        log().error(QStringLiteral("cannot keep the original preferences %1 aside").arg(fileNameOf(path_)));
    // Written back without them at once, so that they are reported and kept aside only this once.
    repairPending_ = true;
}

void JsonFilePreferences::repairIfNeeded() const {
    if (!repairPending_)
        return;
    if (writeBehind_) {
        writeBehind_->request();
        return;
    }
    underFileLock([this] {
        refresh();
        if (repairPending_)
            save();
    });
}

bool JsonFilePreferences::differs(const QString& key, const std::optional<Change>& change) const {
    return change ? entries_.value(key) != change->entry : entries_.contains(key);
}

void JsonFilePreferences::apply(const QString& key, const std::optional<Change>& change) const {
    if (change) {
        entries_.insert(key, change->entry);
        values_.insert(key, change->value);
    } else {
        entries_.remove(key);
        values_.remove(key);
    }
}

void JsonFilePreferences::change(const QString& key, const std::optional<Change>& change) {
    std::lock_guard guard(mutex_);
    // What would change nothing takes no lock and writes nothing: the start removes keys that are
    // mostly absent, and the lock alone costs a file created, written and deleted.
    refresh();
    if (!differs(key, change)) {
        repairIfNeeded();
        return;
    }
    if (writeBehind_) {
        apply(key, change);
        pending_.insert(key, Pending{++changes_, change});
        writeBehind_->request();
        return;
    }
    underFileLock([&] {
        refresh();
        const bool changed = differs(key, change);
        if (changed)
            apply(key, change);
        if (changed || repairPending_)
            save();
    });
}

void JsonFilePreferences::applyPending() const {
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        apply(it.key(), it->change);
}

void JsonFilePreferences::writePending() {
    underFileLock([this] {
        std::unique_lock guard(mutex_);
        // What another process wrote meanwhile, with the pending changes laid over it.
        refresh();
        if (pending_.isEmpty() && !repairPending_)
            return;
        const auto entries = entries_;
        const auto written = pending_;
        const bool repairing = std::exchange(repairPending_, false);
        guard.unlock();
        const bool saved = writeFile_(path_, QJsonDocument(entries).toJson());
        guard.lock();
        if (!saved) {
            // Kept pending: the next change or flush tries again.
            repairPending_ = repairPending_ || repairing;
            log().error(QStringLiteral("cannot write preferences %1").arg(fileNameOf(path_)));
            return;
        }
        stamp_ = stampOf(path_);
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            if (pending_.value(it.key()).number == it->number)
                pending_.remove(it.key());
        }
    });
}

void JsonFilePreferences::underFileLock(const std::function<void()>& work) const {
    makePrivateFolder(QFileInfo(path_).absolutePath());
    QLockFile fileLock(path_ + QStringLiteral(".lock"));
    // A writer that holds the lock longer than this is stuck; writing anyway beats losing the value.
    if (!fileLock.tryLock(std::chrono::seconds(5)))
        log().error(QStringLiteral("writing preferences %1 without its lock").arg(fileNameOf(path_)));
    work();
}

void JsonFilePreferences::save() const {
    repairPending_ = false;
    if (!writeFile_(path_, QJsonDocument(entries_).toJson())) {
        log().error(QStringLiteral("cannot write preferences %1").arg(fileNameOf(path_)));
        return;
    }
    stamp_ = stampOf(path_);
}

QString preferencesFilePath(const QString& suite) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tessaron/") + suite + QStringLiteral(".json");
}

namespace {
JsonFilePreferences& standardStore() {
    static JsonFilePreferences preferences(preferencesFilePath(standardPreferencesSuite),
                                           SystemClock::shared(), JsonFilePreferences::Writing::behind);
    return preferences;
}
} // namespace

Preferences& standardPreferences() {
    return standardStore();
}

Preferences& groupPreferences() {
    static JsonFilePreferences preferences(preferencesFilePath(Preferences::applicationGroup),
                                           SystemClock::shared());
    return preferences;
}

void flushSharedPreferences() {
    // The group's store writes through: nothing of it waits.
    standardStore().flush();
}

} // namespace tessaron
