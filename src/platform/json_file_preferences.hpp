#pragma once

#include "platform/preferences.hpp"

#include <QHash>
#include <QJsonObject>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tessaron {

class Clock;
class WriteBehind;

// Preferences kept in one JSON file. Each value is written with its type, so it reads back as the same
// type after a restart. Another process may share the file (the tunnel writes the application group's
// suite): a read picks up its changes, and a write merges into them instead of replacing them.
//
// A file that is not a JSON object is kept aside as "<name>.damaged-<UTC stamp>" and the store starts
// empty. Entries that cannot be decoded are dropped one by one: the original file is copied aside under
// the same kind of name and the file is written back without them. A failed write keeps the value in
// memory and is logged. The folder and the files are the user's alone (see private_files.hpp).
class JsonFilePreferences final : public Preferences {
public:
    enum class Writing {
        // Each change is on disk when the call returns: another process that shares the file reads and
        // writes in step with this one.
        through,
        // Changes go to disk from a thread of the store's own, the latest state in one atomic write a
        // quarter of a second after the first change, so the caller never waits for the disk. Reads see
        // every change at once. For a file that no other process writes.
        behind,
    };

    // Replaces the file at a path with the bytes atomically, synced; false when it could not.
    using FileWriter = std::function<bool(const QString& path, const QByteArray& bytes)>;

    // `clock` stamps the name a damaged file is kept under. `writeFile` is the step that waits for the
    // disk; tests slow it down or watch which thread runs it.
    JsonFilePreferences(QString path, const Clock& clock, Writing writing = Writing::through,
                        FileWriter writeFile = {});
    // Writes what is still pending before it goes.
    ~JsonFilePreferences() override;

    const QString& path() const { return path_; }

    // Returns once every change made before the call is on disk, or its write failed and was logged. A
    // change whose write failed is tried again here.
    void flush();

    QVariant value(const QString& key) const override;
    void remove(const QString& key) override;
    QStringList keys() const override;

protected:
    // Throws std::invalid_argument for a date that has no ISO 8601 form (years outside 0-9999).
    void store(const QString& key, const QVariant& normalizedValue) override;

private:
    // Tells whether the file on disk is the one last read or written: QSaveFile replaces the file, so
    // each write gives it a new inode.
    struct FileStamp {
        quint64 device;
        quint64 inode;
        qint64 size;
        qint64 modifiedNanoseconds;
        bool operator==(const FileStamp&) const = default;
    };

    static std::optional<FileStamp> stampOf(const QString& path);

    void refresh() const;
    void load() const;
    void keepDamagedFileAside() const;
    void dropEntries(const QStringList& keys, const QByteArray& original) const;
    void repairIfNeeded() const;
    // A stored entry, or none for a removed key.
    struct Change {
        QJsonValue entry;
        QVariant value;
    };
    // Sets or removes `key` unless it already reads so: writing through, under a lock that the other writers
    // honour too; writing behind, in memory at once and on disk from the writer's thread.
    void change(const QString& key, const std::optional<Change>& change);
    bool differs(const QString& key, const std::optional<Change>& change) const;
    void apply(const QString& key, const std::optional<Change>& change) const;
    void underFileLock(const std::function<void()>& work) const;
    void save() const;
    // Writing behind: lays the changes not yet on disk over what was read, and writes them on the writer's
    // thread. Only the step that waits for the disk runs without `mutex_`.
    void applyPending() const;
    void writePending();

    QString path_;
    const Clock& clock_;
    const FileWriter writeFile_;
    mutable std::mutex mutex_;
    // Changes the file does not hold yet, by key, each with the number of the change that made it.
    struct Pending {
        std::uint64_t number;
        std::optional<Change> change;
    };
    mutable QHash<QString, Pending> pending_;
    std::uint64_t changes_ = 0;
    mutable bool loaded_ = false;
    mutable std::optional<FileStamp> stamp_;
    // Entries were dropped from what was read, and the file still holds them.
    mutable bool repairPending_ = false;
    // The file's entries as written, and the same values decoded for reading.
    mutable QJsonObject entries_;
    mutable QVariantMap values_;
    // Last, so that it ends, with its last write, before the state it writes.
    std::unique_ptr<WriteBehind> writeBehind_;
};

// The suite of the standard preferences, named after the application.
inline const QString standardPreferencesSuite = QStringLiteral("com.hallmere.tessaron");

// The file that keeps a suite's preferences: "<XDG config>/tessaron/<suite>.json". The tunnel opens the
// application group's suite through the same path.
QString preferencesFilePath(const QString& suite);

// The application's shared stores, created on first use. The standard suite is the application's alone and
// writes behind; the group's is shared with the tunnel and writes through.
Preferences& standardPreferences();
Preferences& groupPreferences();
// Puts what the application's stores still hold on disk: the last step of quitting.
void flushSharedPreferences();

} // namespace tessaron
