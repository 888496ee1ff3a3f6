#pragma once

#include "platform/preferences.hpp"

#include <QJsonObject>
#include <QVariantMap>

#include <functional>
#include <mutex>
#include <optional>

namespace tessaron {

class Clock;

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
    // `clock` stamps the name a damaged file is kept under.
    JsonFilePreferences(QString path, const Clock& clock);

    const QString& path() const { return path_; }

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
    // When `changes` answers true for the file's current contents, applies `apply` to them under a lock
    // that the other writers honour too and writes the result.
    void update(const std::function<bool()>& changes, const std::function<void()>& apply);
    void underFileLock(const std::function<void()>& work) const;
    void save() const;

    QString path_;
    const Clock& clock_;
    mutable std::mutex mutex_;
    mutable bool loaded_ = false;
    mutable std::optional<FileStamp> stamp_;
    // Entries were dropped from what was read, and the file still holds them.
    mutable bool repairPending_ = false;
    // The file's entries as written, and the same values decoded for reading.
    mutable QJsonObject entries_;
    mutable QVariantMap values_;
};

// The suite of the standard preferences, named after the application.
inline const QString standardPreferencesSuite = QStringLiteral("com.hallmere.tessaron");

// The file that keeps a suite's preferences: "<XDG config>/tessaron/<suite>.json". The tunnel opens the
// application group's suite through the same path.
QString preferencesFilePath(const QString& suite);

// The application's shared stores, created on first use.
Preferences& standardPreferences();
Preferences& groupPreferences();

} // namespace tessaron
